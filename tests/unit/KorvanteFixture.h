// Test base for korvante.dll: each test loads the library from the test program's
// folder, binds its calls by ordinal as the agent does, and starts with no product
// key.
#pragma once
#include "engine/Korvante.h"
#include "framework/OleDateTime.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

// The library's calls and their ordinals.
#define KORVANTE_CALLS(X) X(EditSchedule, 3) X(RefreshCatalog, 4) X(RunUpdate, 5) X(NextScheduledTime, 6) \
    X(PrepareUpdate, 7) X(GetSchedule, 9) X(PrepareDefault, 10) X(PrepareProduct, 11) X(GetNextTime, 12) \
    X(GetDueTime, 13) X(SetNextTime, 16) X(BeginBatch, 17) X(EndBatch, 18)

class KorvanteTest : public ::testing::Test {
protected:
    static constexpr double kMinute = 1.0 / 1440.0;
    static constexpr double kHour = 1.0 / 24.0;

    void SetUp() override
    {
        DeleteProductKey();
        Reload();
    }
    void TearDown() override
    {
        if (m_module)
            ::FreeLibrary(m_module);
    }
    // A fresh copy of the library, as a new start of the agent gets.
    void Reload()
    {
        if (m_module)
            ::FreeLibrary(m_module);
        m_module = ::LoadLibraryA((ProgramDir() + "korvante.dll").c_str());
        ASSERT_NE(m_module, nullptr);
#define KORVANTE_BIND(name, ordinal) Bind(name, ordinal);
        KORVANTE_CALLS(KORVANTE_BIND)
    }

    static double Now() { return COleDateTime::GetCurrentTime().m_dt; }
    static std::string Text(double time)
    {
        return time == 0.0 ? std::string("none") : std::string(COleDateTime(time).Format("%Y-%m-%d %H:%M:%S"));
    }

    // An entry's schedule as a user sets it with reg add ("" is the product key).
    static void Schedule(const std::string& entry, DWORD kind, DWORD a, DWORD b, double next)
    {
        for (const auto& [value, number] : {std::make_pair("ScheduleKind", kind), {"ScheduleA", a}, {"ScheduleB", b}})
            SetEntryValue(entry, value, number);
        if (next != 0.0)
            SetEntryValue(entry, "NextTime", Text(next));
    }
    // GetNextTime's time as text, its result in *result.
    std::string NextText(const char* entry, int* result = nullptr)
    {
        COleDateTime time;
        const int got = GetNextTime(entry, &time);
        if (result)
            *result = got;
        return Text(time.m_dt);
    }
    // After a run: no entry reports its time as come, nor a time in the past.
    void ExpectNothingPast(std::initializer_list<const char*> entries)
    {
        const double now = Now();
        for (const char* name : entries) {
            COleDateTime next;
            EXPECT_EQ(GetNextTime(name, &next), 0) << '"' << name << '"';
            EXPECT_TRUE(next.m_dt == 0.0 || next.m_dt > now) << '"' << name << "\" " << Text(next.m_dt);
        }
    }
    // One due-update run as the agent makes it: in a bracket, every product whose
    // time has come gets its schedule moved on (when the library says so) and its
    // update, then the catalog is refreshed; after the bracket the default entry
    // is moved on unless it is of the once kind. A quit met during an update
    // closes the bracket at once, as the closing agent does. Returns the products
    // updated.
    std::string RunDue(std::initializer_list<const char*> products)
    {
        char engine[260] = "", jobA[260] = "", jobB[260] = "";
        int kind = 0, a = 0, b = 0;
        std::string updated;
        BeginBatch();
        for (const char* name : products) {
            COleDateTime due;
            PrepareProduct(name, engine);
            const int moveOn = GetDueTime(name, &due);
            if (!(Now() > due.m_dt))
                continue;
            GetSchedule(name, nullptr, nullptr, &kind, &a, &b);
            if (moveOn)
                SetNextTime(name, NextScheduledTime(kind, b, a));
            PrepareUpdate(name, jobA, jobB);
            RunUpdate(name, engine, jobA, jobB, 0);
            updated += std::string(" ") + name;
            MSG quit;
            if (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
                EndBatch();
                return updated;
            }
        }
        RefreshCatalog(0, engine, (ProgramDir() + "korvante-catalog.cfg").c_str());
        EndBatch();
        COleDateTime next;
        GetNextTime("", &next);
        GetSchedule("", nullptr, nullptr, &kind, &a, &b);
        if (kind != kKindNotAdvanced && Now() > next.m_dt)
            SetNextTime("", NextScheduledTime(kind, b, a));
        return updated;
    }

#define KORVANTE_POINTER(name, ordinal) decltype(&::name) name = nullptr;
    KORVANTE_CALLS(KORVANTE_POINTER)

private:
    template <typename Function>
    void Bind(Function& function, int ordinal)
    {
        const FARPROC address = ::GetProcAddress(m_module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(address, nullptr) << "ordinal " << ordinal;
        function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    }

    HMODULE m_module = nullptr;
};

// The test programs' entry point. GoogleTest's own printer also sends every
// failure to the debugger output; 32-bit Wine under emulation dies there, which
// would end a run at its first failure. This printer says the same on stdout only.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>

namespace {

class StdoutPrinter : public ::testing::EmptyTestEventListener {
public:
    explicit StdoutPrinter(::testing::TestEventListener* inner) : m_inner(inner) {}

    void OnTestProgramStart(const ::testing::UnitTest& u) override { m_inner->OnTestProgramStart(u); }
    void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { m_inner->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { m_inner->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { m_inner->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const ::testing::TestSuite& s) override { m_inner->OnTestSuiteStart(s); }
    void OnTestStart(const ::testing::TestInfo& t) override { m_inner->OnTestStart(t); }
    void OnTestEnd(const ::testing::TestInfo& t) override { m_inner->OnTestEnd(t); }
    void OnTestSuiteEnd(const ::testing::TestSuite& s) override { m_inner->OnTestSuiteEnd(s); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override { m_inner->OnEnvironmentsTearDownStart(u); }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { m_inner->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { m_inner->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const ::testing::UnitTest& u) override { m_inner->OnTestProgramEnd(u); }

    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (result.type() == ::testing::TestPartResult::kSuccess)
            return;
        const char* kind = result.type() == ::testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        std::printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown", result.line_number(),
                    kind, result.message());
        std::fflush(stdout);
    }

private:
    std::unique_ptr<::testing::TestEventListener> m_inner;
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new StdoutPrinter(listeners.Release(listeners.default_result_printer())));
    return RUN_ALL_TESTS();
}

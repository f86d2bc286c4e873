// The support layer of the test programs and bench/: the product key and its
// entries, local times as the library stores them, files and journals, windows
// of another process, and waiting while messages keep flowing.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// The token Windows gives a standard user's programs, or an administrator's under
// UAC (the administrators group present for deny only), made from this process's;
// null when it cannot be made. The caller closes it.
HANDLE StandardUserToken();
// Removes HKLM\SOFTWARE\Morvane with everything below it.
void DeleteProductKey();
// Creates product subkeys in the given order (the product key too).
void RegisterProducts(const std::vector<std::string>& names);
// The product subkeys in the registry's enumeration order.
std::vector<std::string> RegisteredProducts();
// A value of a product's entry under the product key ("" is the key itself).
bool SetEntryValue(const std::string& entry, const char* value, const std::string& text);
bool SetEntryValue(const std::string& entry, const char* value, DWORD number);
std::string ReadEntryString(const std::string& entry, const char* value);
// A machine policy value under HKLM\SOFTWARE\Policies\Morvane\Tesvo (or its
// subkey), made with the key as needed; DeletePolicies removes them all.
bool SetPolicyValue(const char* value, DWORD number, const char* subkey = nullptr);
bool SetPolicyValue(const char* value, const std::string& text, const char* subkey = nullptr);
void DeletePolicies();
// A REG_SZ value of HKEY_CURRENT_USER\path, made with its key as needed.
bool SetUserValue(const std::string& path, const char* value, const std::string& text);

// Gives the product key (or an entry's key: Wine does not pass rights down) the
// access list sddl for as long as the object lives, then full access for
// everyone again (its owner may always change it).
class ProductKeyAccess {
public:
    explicit ProductKeyAccess(const char* sddl, std::string entry = "") : m_entry(entry), m_applied(Set(sddl)) {}
    ~ProductKeyAccess() { Set("D:(A;;KA;;;WD)"); }
    ProductKeyAccess(const ProductKeyAccess&) = delete;
    ProductKeyAccess& operator=(const ProductKeyAccess&) = delete;
    bool Applied() const { return m_applied; }

private:
    bool Set(const char* sddl);
    std::string m_entry;
    bool m_applied;
};

// Local time secondsFromNow from now (negative: ago) as the library stores it.
std::string LocalTimeText(double secondsFromNow);

// The folder of the running test program, with a trailing backslash.
std::string ProgramDir();
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// The file's lines without their line ends, such as a journal's.
std::vector<std::string> ReadLines(const std::string& path);
// How many of the file's lines start with prefix.
size_t CountLines(const std::string& path, const std::string& prefix);

// A top-level window of the process with that class (a visible one only, if
// asked), or null.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly = false);

// Dispatches this thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Pumps messages until done() holds or timeoutMs passes; returns done().
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

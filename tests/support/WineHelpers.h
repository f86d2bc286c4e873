// Small helpers the test programs share: the product key, files beside the
// program, and waiting while messages keep flowing.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// Removes HKLM\SOFTWARE\Morvane with everything below it.
void DeleteProductKey();
// Creates product subkeys in the given order (the product key too).
void RegisterProducts(const std::vector<std::string>& names);
// The product subkeys in the registry's enumeration order.
std::vector<std::string> RegisteredProducts();

// Gives the product key the access list sddl for as long as the object lives,
// then full access for everyone again (its owner may always change it).
class ProductKeyAccess {
public:
    explicit ProductKeyAccess(const char* sddl) : m_applied(Set(sddl)) {}
    ~ProductKeyAccess() { Set("D:(A;;KA;;;WD)"); }
    ProductKeyAccess(const ProductKeyAccess&) = delete;
    ProductKeyAccess& operator=(const ProductKeyAccess&) = delete;
    bool Applied() const { return m_applied; }

private:
    static bool Set(const char* sddl);
    bool m_applied;
};

// The folder of the running test program, with a trailing backslash.
std::string ProgramDir();
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Dispatches this thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Pumps messages until done() holds or timeoutMs passes; returns done().
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

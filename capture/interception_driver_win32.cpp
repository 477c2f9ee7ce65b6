#include "capture/interception_driver.h"

#include <windows.h>

#include <string>

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

template <typename Function>
bool Resolve(HMODULE library, const char* name, Function*& target) {
    target = reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return target != nullptr;
}

}  // namespace

bool LoadInterceptionLibrary() {
    // A full path, so that only the copy beside the program is ever taken.
    std::wstring path = ProgramFolder() + L"\\interception.dll";
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        return false;
    }
    InterceptionFunctions loaded = {};
    bool complete = Resolve(library, "interception_create_context", loaded.createContext) &&
                    Resolve(library, "interception_destroy_context", loaded.destroyContext) &&
                    Resolve(library, "interception_set_filter", loaded.setFilter) &&
                    Resolve(library, "interception_wait_with_timeout", loaded.waitWithTimeout) &&
                    Resolve(library, "interception_send", loaded.send) &&
                    Resolve(library, "interception_receive", loaded.receive) &&
                    Resolve(library, "interception_get_hardware_id", loaded.getHardwareId) &&
                    Resolve(library, "interception_is_keyboard", loaded.isKeyboard);
    if (!complete) {
        FreeLibrary(library);
        return false;
    }
    interception = loaded;
    return true;
}

#include "driver/registration.h"

namespace driver {
namespace {

constexpr char ClassKey[] = "Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}";
constexpr char ServerKey[] = "Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";

bool KeyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ReadString(HKEY key, const char* name, std::string* value) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    *value = data;
    return true;
}

void WriteString(HKEY key, const char* name, const std::string& value) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

}  // namespace

bool ServiceRegistration::Install(HKEY root, const std::string& dllPath, std::string* why) {
    root_ = root;
    classKeyExisted_ = KeyExists(root, ClassKey);
    serverKeyExisted_ = KeyExists(root, ServerKey);
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, ServerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        if (why != nullptr) *why = "cannot write the class registration (error " + std::to_string(status) + ")";
        return false;
    }
    hadServer_ = ReadString(key, nullptr, &oldServer_);
    hadModel_ = ReadString(key, "ThreadingModel", &oldModel_);
    installed_ = true;
    WriteString(key, nullptr, dllPath);
    WriteString(key, "ThreadingModel", "Both");
    RegCloseKey(key);
    return true;
}

void ServiceRegistration::Restore() {
    if (!installed_) return;
    installed_ = false;
    if (!serverKeyExisted_) {
        RegDeleteKeyA(root_, ServerKey);
        if (!classKeyExisted_) RegDeleteKeyA(root_, ClassKey);
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, ServerKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (hadServer_)
        WriteString(key, nullptr, oldServer_);
    else
        RegDeleteValueA(key, nullptr);
    if (hadModel_)
        WriteString(key, "ThreadingModel", oldModel_);
    else
        RegDeleteValueA(key, "ThreadingModel");
    RegCloseKey(key);
}

}  // namespace driver

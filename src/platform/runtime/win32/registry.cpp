// The registry: an in-process store, empty unless filled (tests fill it through the seams).
// Keys are paths under one of the predefined roots; names compare case-insensitively. A key
// exists when a value is stored in it or in a key below it.
#include <SDL.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/testing.h"

namespace vellomir::platform::detail {
namespace {

struct Value {
  DWORD type;
  std::vector<BYTE> data;
};

struct OpenKey {
  uintptr_t root;
  std::string path;  // normalised
};

struct RegistryState {
  // (root, normalised key path) -> value name in lower case -> value
  std::map<std::pair<uintptr_t, std::string>, std::map<std::string, Value>> keys;
  std::map<uintptr_t, std::unique_ptr<OpenKey>> open;  // handle value -> key
};

RegistryState& State() {
  static RegistryState state;
  return state;
}

bool IsRoot(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

std::string Lower(const std::string& s) {
  std::string out;
  for (char c : s) out += static_cast<char>(SDL_tolower(static_cast<unsigned char>(c)));
  return out;
}

// Lower case, single backslashes, none at either end.
std::string NormalisePath(const std::string& path) {
  std::string out;
  for (char c : Lower(path)) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string Join(const std::string& base, const std::string& sub) {
  if (base.empty()) return sub;
  if (sub.empty()) return base;
  return base + "\\" + sub;
}

bool KeyExists(uintptr_t root, const std::string& path) {
  if (path.empty()) return true;
  for (const auto& [where, values] : State().keys) {
    if (where.first != root) continue;
    const std::string& p = where.second;
    if (p == path || (p.size() > path.size() && p.compare(0, path.size(), path) == 0 &&
                      p[path.size()] == '\\'))
      return true;
  }
  return false;
}

// The root and path an open key stands for; false for an unknown handle.
bool Resolve(HKEY key, uintptr_t* root, std::string* path) {
  if (IsRoot(key)) {
    *root = reinterpret_cast<uintptr_t>(key);
    path->clear();
    return true;
  }
  auto it = State().open.find(reinterpret_cast<uintptr_t>(key));
  if (it == State().open.end()) return false;
  *root = it->second->root;
  *path = it->second->path;
  return true;
}

void Store(HKEY root, const std::string& subKey, const std::string& name, Value value) {
  State().keys[{reinterpret_cast<uintptr_t>(root), NormalisePath(subKey)}][Lower(name)] =
      std::move(value);
}

}  // namespace

void ResetRegistry() {
  State().keys.clear();
  // Keys a test left open stay valid handles; they simply find nothing.
}

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

namespace vellomir::platform::testing {

void SetRegistryDword(HKEY root, const std::string& subKey, const std::string& valueName,
                      DWORD value) {
  std::vector<BYTE> bytes(4);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));  // little-endian
  Store(root, subKey, valueName, {REG_DWORD, bytes});
}

void SetRegistryValue(HKEY root, const std::string& subKey, const std::string& valueName,
                      DWORD type, const std::vector<BYTE>& data) {
  Store(root, subKey, valueName, {type, data});
}

void ClearRegistry() { ResetRegistry(); }

}  // namespace vellomir::platform::testing

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, DWORD, PHKEY result) {
  if (!result) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  uintptr_t root;
  std::string base;
  if (!Resolve(key, &root, &base)) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  std::string path = Join(base, NormalisePath(subKey ? subKey : ""));
  if (!KeyExists(root, path)) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  auto open = std::make_unique<OpenKey>(OpenKey{root, path});
  uintptr_t handle = reinterpret_cast<uintptr_t>(open.get());
  State().open.emplace(handle, std::move(open));
  *result = reinterpret_cast<HKEY>(handle);
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  // An empty sub-key hands back the key itself.
  if (result && (!subKey || !*subKey) && IsRoot(key)) {
    *result = key;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  return RegOpenKeyExA(key, subKey, 0, KEY_READ, result);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
  if (reserved || (data && !dataSize)) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  uintptr_t root;
  std::string path;
  if (!Resolve(key, &root, &path)) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  auto k = State().keys.find({root, path});
  if (k == State().keys.end()) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  auto v = k->second.find(Lower(valueName ? valueName : ""));
  if (v == k->second.end()) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  const Value& value = v->second;
  DWORD size = static_cast<DWORD>(value.data.size());
  if (type) *type = value.type;
  if (!data) {
    if (dataSize) *dataSize = size;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  if (*dataSize < size) {
    *dataSize = size;
    return static_cast<LSTATUS>(ERROR_MORE_DATA);
  }
  if (size) std::memcpy(data, value.data.data(), size);
  *dataSize = size;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key) {
  if (IsRoot(key)) return static_cast<LSTATUS>(ERROR_SUCCESS);
  if (State().open.erase(reinterpret_cast<uintptr_t>(key)) == 0)
    return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

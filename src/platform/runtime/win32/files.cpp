// Files and read-only mappings over POSIX open/mmap, the thread's last error, and the wide to
// ANSI conversion (the ANSI code page is UTF-8 here).
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <map>
#include <string>

#include "platform/runtime/win32/internal.h"

namespace vellomir::platform::detail {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// Views are mapped in whole granules from granule-aligned offsets, as on the platform.
constexpr uint64_t kAllocationGranularity = 65536;

enum class Kind { File, Mapping };

struct HandleObject {
  Kind kind;
  int fd;         // owned; a mapping holds its own duplicate so it outlives the file handle
  uint64_t size;  // mappings: the mapped size in bytes
};

struct FileState {
  std::map<uintptr_t, HandleObject> handles;
  std::map<uintptr_t, size_t> views;  // base address -> length in bytes
  uintptr_t nextHandle = 0x100;
};

FileState& State() {
  static FileState state;
  return state;
}

HANDLE AddHandle(HandleObject object) {
  FileState& s = State();
  // Handle values are multiples of 4 and never null or INVALID_HANDLE_VALUE.
  uintptr_t value = s.nextHandle;
  s.nextHandle += 4;
  s.handles.emplace(value, object);
  return reinterpret_cast<HANDLE>(value);
}

HandleObject* Find(HANDLE handle, Kind kind) {
  auto it = State().handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == State().handles.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

bool FileSize(int fd, uint64_t* size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

// A wide string (UTF-16 code units in wchar_t, or whole code points: both are accepted) decoded
// one code point at a time. Lone surrogates and values past U+10FFFF come back as -1.
struct WideReader {
  const wchar_t* p;
  const wchar_t* end;
  bool Done() const { return p == end; }
  int32_t Next() {
    uint32_t u = static_cast<uint32_t>(*p++);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (p != end) {
        uint32_t low = static_cast<uint32_t>(*p);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          ++p;
          return static_cast<int32_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        }
      }
      return -1;
    }
    if ((u >= 0xDC00 && u <= 0xDFFF) || u > 0x10FFFF) return -1;
    return static_cast<int32_t>(u);
  }
};

int Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

char* PutUtf8(char* out, uint32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Converts a whole zero-terminated wide name; false when it holds anything unconvertible.
bool WideNameToUtf8(LPCWSTR wide, std::string* out) {
  WideReader reader{wide, wide + std::wcslen(wide)};
  out->clear();
  while (!reader.Done()) {
    int32_t cp = reader.Next();
    if (cp < 0) return false;
    char bytes[4];
    out->append(bytes, PutUtf8(bytes, static_cast<uint32_t>(cp)) - bytes);
  }
  return true;
}

HANDLE OpenFile(std::string path, DWORD access, DWORD disposition) {
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // The platform's separator is the backslash; both work here.
  for (char& c : path)
    if (c == '\\') c = '/';
  int flags = O_CLOEXEC;
  bool read = (access & GENERIC_READ) != 0, write = (access & GENERIC_WRITE) != 0;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    // A directory is not a file that can be read.
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return AddHandle({Kind::File, fd, 0});
}

}  // namespace

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
    case ELOOP: return ERROR_INVALID_NAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition,
                   DWORD, HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return OpenFile(name, access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition,
                   DWORD, HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path;
  if (!WideNameToUtf8(name, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return OpenFile(path, access, disposition);
}

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES*, DWORD protect, DWORD maxSizeHigh,
                          DWORD maxSizeLow, LPCSTR) {
  HandleObject* f = Find(file, Kind::File);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (protect != PAGE_READONLY) {  // the only protection this runtime offers
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  uint64_t fileSize = 0;
  if (!FileSize(f->fd, &fileSize)) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  uint64_t size = (static_cast<uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
  if (size == 0) size = fileSize;
  if (size == 0) {
    // Nothing to map: an empty file cannot be mapped.
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  if (size > fileSize) {
    // A read-only mapping cannot grow the file.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int fd = fcntl(f->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return AddHandle({Kind::Mapping, fd, size});
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     size_t bytes) {
  HandleObject* m = Find(mapping, Kind::Mapping);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (access != FILE_MAP_READ) {  // the mapping is read-only
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset % kAllocationGranularity != 0) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  if (offset >= m->size) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t available = m->size - offset;
  uint64_t length = bytes == 0 ? available : bytes;
  if (length > available) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  void* view = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, m->fd,
                    static_cast<off_t>(offset));
  if (view == MAP_FAILED) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  State().views[reinterpret_cast<uintptr_t>(view)] = static_cast<size_t>(length);
  SetLastError(ERROR_SUCCESS);
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  auto& views = State().views;
  uintptr_t address = reinterpret_cast<uintptr_t>(view);
  // Any address inside a view names that view.
  auto it = views.upper_bound(address);
  if (!view || it == views.begin() || address >= std::prev(it)->first + std::prev(it)->second) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  --it;
  munmap(reinterpret_cast<void*>(it->first), it->second);
  views.erase(it);
  return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  HandleObject* f = Find(file, Kind::File);
  uint64_t size = 0;
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (!FileSize(f->fd, &size)) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  // A size whose low word is 0xFFFFFFFF is told apart from failure by the last error.
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE handle) {
  auto& handles = State().handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  close(it->second.fd);
  handles.erase(it);
  return TRUE;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multi,
                        int multiCount, LPCSTR defaultChar, BOOL* usedDefaultChar) {
  bool utf8 = codePage == CP_UTF8;
  if ((codePage != CP_ACP && !utf8) || flags != 0 || !wide || wideCount == 0 ||
      wideCount < -1 || multiCount < 0 || (multiCount > 0 && !multi) ||
      (utf8 && (defaultChar || usedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t count = wideCount == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideCount);
  // What stands in for what cannot be converted: the caller's default character in the ANSI
  // page, U+FFFD in UTF-8.
  const uint32_t replacement =
      utf8 ? 0xFFFD : static_cast<uint32_t>(static_cast<unsigned char>(defaultChar ? *defaultChar : '?'));
  size_t needed = 0;
  bool replaced = false;
  for (WideReader r{wide, wide + count}; !r.Done();) {
    int32_t cp = r.Next();
    if (cp < 0) replaced = true;
    needed += static_cast<size_t>(Utf8Length(cp < 0 ? replacement : static_cast<uint32_t>(cp)));
  }
  if (needed > 0x7FFFFFFF) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (usedDefaultChar) *usedDefaultChar = replaced ? TRUE : FALSE;
  if (multiCount == 0) return static_cast<int>(needed);
  if (needed > static_cast<size_t>(multiCount)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  char* out = multi;
  for (WideReader r{wide, wide + count}; !r.Done();) {
    int32_t cp = r.Next();
    out = PutUtf8(out, cp < 0 ? replacement : static_cast<uint32_t>(cp));
  }
  return static_cast<int>(needed);
}

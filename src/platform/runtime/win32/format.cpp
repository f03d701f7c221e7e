// wsprintfA: the platform's small formatter. Conversions: %c %d %i %u %x %X %s %% (with the
// flags '-', '0', '#', a width, a precision and the size prefixes 'h', 'l' and "I64"); %S and
// %ls take a wide string. Output stops at 1024 bytes, terminator included.
#include <cstdint>
#include <cstring>

#include "platform/api/win32.h"

namespace {

constexpr int kMaxOutput = 1024;  // bytes, terminator included

class Output {
 public:
  explicit Output(char* buffer) : buffer_(buffer) {}
  void Put(char c) {
    if (length_ < kMaxOutput - 1) buffer_[length_++] = c;
  }
  void Put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(s[i]);
  }
  void Pad(char c, int n) {
    for (int i = 0; i < n; ++i) Put(c);
  }
  int Finish() {
    buffer_[length_] = '\0';
    return length_;
  }

 private:
  char* buffer_;
  int length_ = 0;
};

struct Field {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  int width = 0;
  int precision = -1;
};

void PutPadded(Output& out, const Field& field, const char* prefix, const char* body, size_t length) {
  size_t prefixLength = std::strlen(prefix);
  int padding = field.width - static_cast<int>(prefixLength + length);
  if (padding < 0) padding = 0;
  if (!field.left && !field.zero) out.Pad(' ', padding);
  out.Put(prefix, prefixLength);
  if (!field.left && field.zero) out.Pad('0', padding);
  out.Put(body, length);
  if (field.left) out.Pad(' ', padding);
}

void PutNumber(Output& out, Field field, uint64_t magnitude, bool negative, unsigned base,
               bool upper) {
  char digits[24];
  int n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  while (magnitude) {
    digits[n++] = set[magnitude % base];
    magnitude /= base;
  }
  // At least one digit, unless a precision of 0 asks for none.
  int minimum = field.precision >= 0 ? field.precision : 1;
  if (minimum > 20) minimum = 20;
  while (n < minimum) digits[n++] = '0';
  char body[24];
  for (int i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  if (field.precision >= 0) field.zero = false;
  const char* prefix = negative ? "-" : "";
  if (base == 16 && field.alternate && n > 0) prefix = upper ? "0X" : "0x";
  PutPadded(out, field, prefix, body, static_cast<size_t>(n));
}

// Appends one code point as UTF-8 (the system's ANSI code page).
void PutUtf8(Output& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = '?';
  if (cp < 0x80) {
    out.Put(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.Put(static_cast<char>(0xC0 | (cp >> 6)));
    out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.Put(static_cast<char>(0xE0 | (cp >> 12)));
    out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.Put(static_cast<char>(0xF0 | (cp >> 18)));
    out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
  if (!buffer) return 0;
  Output out(buffer);
  if (!format) return out.Finish();
  for (const char* p = format; *p;) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    ++p;
    Field field;
    for (;; ++p) {
      if (*p == '-') field.left = true;
      else if (*p == '0') field.zero = true;
      else if (*p == '#') field.alternate = true;
      else break;
    }
    // Widths and precisions are limited to what fits the output anyway.
    while (*p >= '0' && *p <= '9') {
      if (field.width < kMaxOutput) field.width = field.width * 10 + (*p - '0');
      ++p;
    }
    if (*p == '.') {
      ++p;
      field.precision = 0;
      while (*p >= '0' && *p <= '9') {
        if (field.precision < kMaxOutput) field.precision = field.precision * 10 + (*p - '0');
        ++p;
      }
    }
    bool isShort = false, is64 = false, wide = false;
    if (*p == 'h') {
      isShort = true;
      ++p;
    } else if (*p == 'l') {
      wide = true;  // for %ls / %lc; integers are 32-bit either way
      ++p;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
      is64 = true;
      p += 3;
    }
    char conversion = *p;
    if (!conversion) break;
    ++p;
    switch (conversion) {
      case 'd':
      case 'i': {
        int64_t v = is64 ? va_arg(args, long long) : va_arg(args, int);
        if (isShort) v = static_cast<short>(v);
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        PutNumber(out, field, magnitude, v < 0, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t v = is64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
        if (isShort) v = static_cast<unsigned short>(v);
        PutNumber(out, field, v, false, conversion == 'u' ? 10 : 16, conversion == 'X');
        break;
      }
      case 'c':
      case 'C': {
        int v = va_arg(args, int);
        char body[1] = {static_cast<char>(v)};
        if (wide || conversion == 'C') {
          char utf8[8];
          Output one(utf8);
          PutUtf8(one, static_cast<uint32_t>(v));
          int n = one.Finish();
          PutPadded(out, field, "", utf8, static_cast<size_t>(n));
        } else {
          PutPadded(out, field, "", body, 1);
        }
        break;
      }
      case 's':
      case 'S': {
        if (wide || conversion == 'S') {
          const wchar_t* s = va_arg(args, const wchar_t*);
          if (!s) s = L"(null)";
          // Convert first, so that the width counts output bytes.
          char converted[kMaxOutput];
          Output conv(converted);
          for (int i = 0; s[i] && (field.precision < 0 || i < field.precision); ++i)
            PutUtf8(conv, static_cast<uint32_t>(s[i]));
          int n = conv.Finish();
          PutPadded(out, field, "", converted, static_cast<size_t>(n));
        } else {
          const char* s = va_arg(args, const char*);
          if (!s) s = "(null)";
          size_t n = field.precision >= 0 ? strnlen(s, static_cast<size_t>(field.precision))
                                         : std::strlen(s);
          PutPadded(out, field, "", s, n);
        }
        break;
      }
      default:
        // '%%' and anything unknown: the character itself.
        out.Put(conversion);
        break;
    }
  }
  return out.Finish();
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(buffer, format, args);
  va_end(args);
  return n;
}

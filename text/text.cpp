#include "text/text.h"

#include <cstring>
#include <cwctype>

WidePath Widen(const char* text) {
  return WidePath(text, text + strlen(text));
}

std::string Utf8(const WidePath& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long code = static_cast<unsigned long>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned long>(text[++i]) - 0xDC00);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone surrogate
    }
    if (code < 0x80) {
      bytes += static_cast<char>(code);
    } else if (code < 0x800) {
      bytes += static_cast<char>(0xC0 | (code >> 6));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      bytes += static_cast<char>(0xE0 | (code >> 12));
      bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (code >> 18));
      bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return bytes;
}

static bool IsHidden(unsigned long code) {
  return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x2028 || code == 0x2029 || code == L'<';
}

WidePath Shown(const WidePath& value) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  WidePath shown;
  for (wchar_t unit : value) {
    const unsigned long code = static_cast<unsigned long>(unit);
    if (!IsHidden(code)) {
      shown += unit;
      continue;
    }
    shown += L"<U+";
    for (int shift = 12; shift >= 0; shift -= 4) shown += kDigits[(code >> shift) & 0xF];
    shown += L'>';
  }
  return shown;
}

bool SameText(const WidePath& a, const WidePath& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (towlower(a[i]) != towlower(b[i])) return false;
  }
  return true;
}

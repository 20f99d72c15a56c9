// The item format of a Python buffer.
#pragma once

#include <Python.h>

namespace orvpy {

// Whether a buffer's struct-style format is the single native item code (for example 'd' or
// 'B'), with or without the native, standard or, on a little-endian host, little-endian mark.
inline bool is_native_format(const char* format, char code) {
    if (format == nullptr) {
        return code == 'B';  // no format means unsigned bytes
    }
    if (format[0] == '@' || format[0] == '=' || (format[0] == '<' && PY_LITTLE_ENDIAN)) {
        ++format;
    }
    return format[0] == code && format[1] == '\0';
}

}  // namespace orvpy

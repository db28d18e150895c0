// Fuzzer of the string form: the input bytes, as the string of a fresh
// object, are converted to each of the seven array types through the C
// interface (Tcl_Get<T>ArrayFromObj). For every type, against the oracle
// (oracle.h: CheckText):
//   - the conversion succeeds exactly when the standard readers (strtol,
//     strtoll, strtod), number after number, read the whole string, and the
//     elements are theirs brought to the type; a failed conversion leaves
//     the object as it was;
//   - the string form of the elements is, token by token, Tcl's text of
//     each (but for the powers of two whose Tcl text does not read back,
//     which must read back), in short arrays and in arrays of 8 or more
//     (another printing path);
//   - the array converts to each other type element by element by the
//     conversion rules.
// Any difference aborts, as do sanitizer reports.

#include <cstdint>
#include <string>

#include "api.h"
#include "harness.h"
#include "oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Interp();
    if (size > 1 << 16) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::ForEachType([&]<class E>(E) {
        const std::string diff = oracle::CheckText<E>(text);
        if (!diff.empty()) fuzz::Finding("%s", diff.c_str());
    });
    return 0;
}

// Type records, free and duplicate procedures, and the type-name tests.

#include "obj_types.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace nvec {

namespace {

// Shared answer for objects without type.
const char kEmptyName[] = "";

}  // namespace

void AdviseHugePages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // One huge page's worth: a smaller block cannot hold a whole one. (A
    // block of up to twice that, placed at no particular boundary, holds
    // one or none.) Measured where the system took 9 us a page to give
    // fresh small pages, the demo at 100^3 cells: 108 instead of 150 to
    // 190 ms, its arrays and buffers of 4 MB taking one huge page each.
    constexpr std::size_t kHugeAdviceMin = std::size_t{2} << 20;
    static const auto kPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (bytes < kHugeAdviceMin || kPage == 0 || (kPage & (kPage - 1)) != 0) return;
    const auto first = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t start = (first + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (first + bytes) & ~(kPage - 1);
    // The pages belong to the block alone, and the advice changes no byte
    // of them: its result does not matter.
    (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

void FreeArrayRep(Tcl_Obj* obj) { Tcl_Free(static_cast<char*>(PayloadOf(obj))); }

// Copies exactly `count` elements, not any spare room of the source block.
// The copy has the source's string and so its record.
template <class T>
void DupArrayRep(Tcl_Obj* src, Tcl_Obj* dup) {
    int n = Length(src);
    void* payload = NewPayload<T>(n, false);
    std::memcpy(PayloadData<T>(payload), Elements<T>(src), static_cast<std::size_t>(n) * sizeof(T));
    dup->internalRep.twoPtrValue.ptr2 = nullptr;
    dup->internalRep.otherValuePtr = payload;
    dup->typePtr = src->typePtr;
}

bool ListProcsSound(int major, int minor, int patchLevel, int releaseType) {
    if (major < 9) return false;
    if (major > 9 || minor > 0) return true;
    return releaseType == TCL_FINAL_RELEASE && patchLevel >= 2;
}

namespace {

std::once_flag gSetUpOnce;

#if TCL_MAJOR_VERSION > 8
template <class T>
void GiveListProcs() {
    kArrayType<T> = Tcl_ObjType{
        Elem<T>::kName,
        FreeArrayRep,
        DupArrayRep<T>,
        UpdateStringOfArray<T>,
        SetArrayFromAny<T>,
        TCL_OBJTYPE_V2(ArrayLengthProc, ArrayIndexProc<T>, ArraySliceProc<T>, ArrayReverseProc<T>,
                       nullptr, nullptr, nullptr, ArrayInOperProc<T>)};
}
#endif

}  // namespace

void SetUpArrayTypes() {
    std::call_once(gSetUpOnce, [] {
#if TCL_MAJOR_VERSION > 8
        int major, minor, patchLevel, releaseType;
        Tcl_GetVersion(&major, &minor, &patchLevel, &releaseType);
        if (ListProcsSound(major, minor, patchLevel, releaseType)) {
            for (int i = 0; i < kNumElemTypes; ++i) {
                Visit(static_cast<ElemType>(i),
                      []<class T>(std::type_identity<T>) { GiveListProcs<T>(); });
            }
        }
#endif
    });
}

const Tcl_ObjType* ArrayTypeRecord(ElemType t) {
    return Visit(
        t, []<class T>(std::type_identity<T>) -> const Tcl_ObjType* { return &kArrayType<T>; });
}

const char* TypeNameOf(Tcl_Obj* obj) {
    if (obj == nullptr || obj->typePtr == nullptr || obj->typePtr->name == nullptr) {
        return kEmptyName;
    }
    return obj->typePtr->name;
}

std::optional<ElemType> ElemTypeFromName(const char* name) {
    for (int i = 0; i < kNumElemTypes; ++i) {
        if (std::strcmp(name, kTypeNames[i]) == 0) return static_cast<ElemType>(i);
    }
    return std::nullopt;
}

#define NVEC_INSTANTIATE(T) template void DupArrayRep<T>(Tcl_Obj*, Tcl_Obj*);
NVEC_FOR_EACH_ELEM_TYPE(NVEC_INSTANTIATE)
#undef NVEC_INSTANTIATE

}  // namespace nvec

// A quicksort of unsigned 32- and 64-bit keys written with AVX-512
// instructions, for the processors that have them (vector_sort.cpp).

#pragma once

#include <cstddef>
#include <cstdint>

namespace nvec {

// Whether VectorSortKeys sorts: on x86-64 processors with AVX-512F whose
// system saves the vector registers, unless the environment variable
// NVEC_NO_AVX512 is set to a non-empty value when nvec is loaded (which
// lets the portable sort be tested and compared on such a processor).
bool VectorSortAvailable() noexcept;

// The ways that the sorts take where their costs differ between
// processors, chosen once when nvec is loaded. Results are the same
// either way.
struct SortWays {
    // The partition of 32-bit keys stores two compressions of each vector
    // (else one permutation and four stores of its halves).
    bool compress;
    // 8-byte keys beyond the caches are spread over 256 runs by a digit
    // before the vector sort (SpreadPays).
    bool spread;
    // Argsort's passes that place positions beyond the caches request the
    // line beyond each place (PlacesAhead).
    bool placeAhead;
    // Argsort of offsets of up to 32 bits beyond the caches takes radix
    // passes (else the vector sort of packed words).
    bool digitsBeyondCaches;
};

// The processor's ways: those of Intel's processors, of AMD's from Zen 5
// (family 1Ah) on, or of the others; the others' where the vector sort
// is not built. The environment variable NVEC_AVX512_WAYS set to
// "intel", "zen5" or "other" when nvec is loaded takes those ways
// whatever the processor (NVEC_AVX512_INTEL set to 1 or 0: "intel" or
// "other"), so that tests take every way on one processor.
const SortWays& ProcessorSortWays() noexcept;

// Sorts keys[0, n) ascending when VectorSortAvailable(), else does
// nothing. No allocation; any contents; at most about 2 log2(n) levels of
// partitioning before a range is finished by std::sort.
void VectorSortKeys(std::uint32_t* keys, std::size_t n) noexcept;
void VectorSortKeys(std::uint64_t* keys, std::size_t n) noexcept;

}  // namespace nvec

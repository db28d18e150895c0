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

// Whether the processor is Intel's (false where the vector sort is not
// built): the sorts choose between ways that cost differently there. The
// environment variable NVEC_AVX512_INTEL set to 1 or 0 when nvec is
// loaded gives either answer, so that tests take both ways on one
// processor.
bool ProcessorIsIntel() noexcept;

// Sorts keys[0, n) ascending when VectorSortAvailable(), else does
// nothing. No allocation; any contents; at most about 2 log2(n) levels of
// partitioning before a range is finished by std::sort.
void VectorSortKeys(std::uint32_t* keys, std::size_t n) noexcept;
void VectorSortKeys(std::uint64_t* keys, std::size_t n) noexcept;

}  // namespace nvec

// Owner of a row-pointer grid made by the NRUTIL allocators.
//
// The grid is still the plain array of row pointers that every pass works on
// (rows() or operator[]); the owner only remembers the number of lines so that
// the grid is given back with the matching release function.
#ifndef REFERENCE_GRID_H
#define REFERENCE_GRID_H

#include <cstdint>
#include <utility>

#include "NRUTIL.h"
#include "shared/run_error.h"

inline void release_rows(unsigned char** m, int32_t n) { frucmatrice(m, n); }
inline void release_rows(uint16_t** m, int32_t n) { frusmatrice(m, n); }
inline void release_rows(int32_t** m, int32_t n) { frimatrice(m, n); }
inline void release_rows(double** m, int32_t n) { frdmatrice(m, n); }

inline unsigned char** allocate_rows(unsigned char*, int32_t c, int32_t l) { return ucmatrice(c, l); }
inline uint16_t** allocate_rows(uint16_t*, int32_t c, int32_t l) { return usmatrice(c, l); }
inline int32_t** allocate_rows(int32_t*, int32_t c, int32_t l) { return imatrice(c, l); }
inline double** allocate_rows(double*, int32_t c, int32_t l) { return dmatrice(c, l); }

template <typename T>
class Grid {
public:
    Grid() = default;
    Grid(T** rows, int32_t nb_lig) : rows_(rows), nb_lig_(nb_lig) {}
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;
    Grid(Grid&& other) noexcept : rows_(std::exchange(other.rows_, nullptr)), nb_lig_(other.nb_lig_) {}
    Grid& operator=(Grid&& other) noexcept
    {
        if (this != &other) {
            reset();
            rows_ = std::exchange(other.rows_, nullptr);
            nb_lig_ = other.nb_lig_;
        }
        return *this;
    }
    ~Grid() { reset(); }

    T** rows() const { return rows_; }
    T* operator[](int32_t i) const { return rows_[i]; }
    explicit operator bool() const { return rows_ != nullptr; }

    void reset()
    {
        if (rows_ != nullptr) release_rows(rows_, nb_lig_);
        rows_ = nullptr;
    }

private:
    T** rows_ = nullptr;
    int32_t nb_lig_ = 0;
};

// Makes a zero-filled grid of row_count lines of column_count cells; a grid that
// cannot be obtained ends the run with a message naming what it was for.
template <typename T>
Grid<T> make_grid(int32_t column_count, int32_t row_count, const char* what)
{
    T** rows = allocate_rows(static_cast<T*>(nullptr), column_count, row_count);
    if (rows == nullptr)
        throw RunError(std::string("not enough memory for the ") + what + " (" + std::to_string(row_count) +
                       " lines of " + std::to_string(column_count) + " columns)");
    return Grid<T>(rows, row_count);
}

#endif

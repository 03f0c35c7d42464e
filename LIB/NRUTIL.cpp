#include "NRUTIL.h"

#include <cstdlib>

namespace {

// The block allocator and release used by the whole family. Tests replace them
// to observe the order of releases and to make a request fail part-way.
NrutilCalloc g_calloc = std::calloc;
NrutilFree g_free = std::free;

// Releases rows 0 .. nb_rows-1 in ascending order, then the row-pointer block.
template <typename T>
void release_grid(T** mat, int32_t nb_rows)
{
    if (mat == nullptr) return;
    for (int32_t i = 0; i < nb_rows; ++i) g_free(mat[i]);
    g_free(mat);
}

template <typename T>
T** allocate_grid(int32_t nb_col, int32_t nb_lig)
{
    if (nb_col <= 0 || nb_lig <= 0) return nullptr;
    T** mat = static_cast<T**>(g_calloc(static_cast<size_t>(nb_lig), sizeof(T*)));
    if (mat == nullptr) return nullptr;
    for (int32_t i = 0; i < nb_lig; ++i) {
        mat[i] = static_cast<T*>(g_calloc(static_cast<size_t>(nb_col), sizeof(T)));
        if (mat[i] == nullptr) {
            release_grid(mat, i);  // give back what was obtained before the failure
            return nullptr;
        }
    }
    return mat;
}

template <typename T>
T* allocate_vector(int32_t nb_col)
{
    if (nb_col <= 0) return nullptr;
    return static_cast<T*>(g_calloc(static_cast<size_t>(nb_col), sizeof(T)));
}

}  // namespace

void nrutil_set_block_functions(NrutilCalloc allocate, NrutilFree release)
{
    g_calloc = allocate != nullptr ? allocate : std::calloc;
    g_free = release != nullptr ? release : std::free;
}

unsigned char** ucmatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<unsigned char>(NbCol, NbLig); }
uint16_t** usmatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<uint16_t>(NbCol, NbLig); }
int16_t** smatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<int16_t>(NbCol, NbLig); }
int32_t** imatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<int32_t>(NbCol, NbLig); }
float** fmatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<float>(NbCol, NbLig); }
double** dmatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<double>(NbCol, NbLig); }
long double** ldmatrice(int32_t NbCol, int32_t NbLig) { return allocate_grid<long double>(NbCol, NbLig); }

void frucmatrice(unsigned char** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frusmatrice(uint16_t** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frsmatrice(int16_t** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frimatrice(int32_t** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frfmatrice(float** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frdmatrice(double** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }
void frldmatrice(long double** Mat, int32_t NbLig) { release_grid(Mat, NbLig); }

unsigned char* ucvecteur(int32_t NbCol) { return allocate_vector<unsigned char>(NbCol); }
uint16_t* usvecteur(int32_t NbCol) { return allocate_vector<uint16_t>(NbCol); }
int16_t* svecteur(int32_t NbCol) { return allocate_vector<int16_t>(NbCol); }
int32_t* ivecteur(int32_t NbCol) { return allocate_vector<int32_t>(NbCol); }
float* fvecteur(int32_t NbCol) { return allocate_vector<float>(NbCol); }
double* dvecteur(int32_t NbCol) { return allocate_vector<double>(NbCol); }

void frucvecteur(unsigned char* Mat) { g_free(Mat); }
void frusvecteur(uint16_t* Mat) { g_free(Mat); }
void frsvecteur(int16_t* Mat) { g_free(Mat); }
void frivecteur(int32_t* Mat) { g_free(Mat); }
void frfvecteur(float* Mat) { g_free(Mat); }
void frdvecteur(double* Mat) { g_free(Mat); }

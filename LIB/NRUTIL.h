// Grid and vector allocation.
//
// A grid is an array of row pointers; every row is its own zero-filled block.
// Allocators take the number of columns first and the number of lines second
// and return null when the request is empty, negative, or cannot be met (a
// grid that fails part-way gives back the blocks it had already obtained).
// Release functions take the grid and the number of lines it was made with.
#ifndef NRUTIL_H
#define NRUTIL_H

#include <cstddef>
#include <cstdint>

// The functions that obtain and give back every block of the family:
// calloc and free unless replaced (tests replace them; null restores them).
using NrutilCalloc = void* (*)(size_t count, size_t size);
using NrutilFree = void (*)(void* block);
void nrutil_set_block_functions(NrutilCalloc allocate, NrutilFree release);

unsigned char** ucmatrice(int32_t NbCol, int32_t NbLig);
uint16_t** usmatrice(int32_t NbCol, int32_t NbLig);
int16_t** smatrice(int32_t NbCol, int32_t NbLig);
int32_t** imatrice(int32_t NbCol, int32_t NbLig);
float** fmatrice(int32_t NbCol, int32_t NbLig);
double** dmatrice(int32_t NbCol, int32_t NbLig);
long double** ldmatrice(int32_t NbCol, int32_t NbLig);

void frucmatrice(unsigned char** Mat, int32_t NbLig);
void frusmatrice(uint16_t** Mat, int32_t NbLig);
void frsmatrice(int16_t** Mat, int32_t NbLig);
void frimatrice(int32_t** Mat, int32_t NbLig);
void frfmatrice(float** Mat, int32_t NbLig);
void frdmatrice(double** Mat, int32_t NbLig);
void frldmatrice(long double** Mat, int32_t NbLig);

unsigned char* ucvecteur(int32_t NbCol);
uint16_t* usvecteur(int32_t NbCol);
int16_t* svecteur(int32_t NbCol);
int32_t* ivecteur(int32_t NbCol);
float* fvecteur(int32_t NbCol);
double* dvecteur(int32_t NbCol);

void frucvecteur(unsigned char* Mat);
void frusvecteur(uint16_t* Mat);
void frsvecteur(int16_t* Mat);
void frivecteur(int32_t* Mat);
void frfvecteur(float* Mat);
void frdvecteur(double* Mat);

#endif

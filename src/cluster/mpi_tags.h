// The kinds of message the processes of a shared run exchange, by MPI tag.
// Seams and rows travel on communicators of their own, so that a process's
// threads waiting for one kind never take the other.
#ifndef CLUSTER_MPI_TAGS_H
#define CLUSTER_MPI_TAGS_H

namespace mpi_tag {
// Between bands (seams): the holder of the truth asks a band for its
// stripes' checkpoints, gets them, and hands the truth down.
constexpr int describe = 1;
constexpr int description = 2;
constexpr int truth = 3;
// To the first process (rows): result rows, a question whether all rows sent
// so far are written, its answer, and the end of a process's rows.
constexpr int rows = 4;
constexpr int flush = 5;
constexpr int flushed = 6;
constexpr int done = 7;
// Between the processes writing one GeoTIFF (their own communicators): tile
// rows for their owner (answered by flush and done as rows are), and a
// place in the file asked of the first process and given.
constexpr int tile_rows = 8;
constexpr int reserve = 9;
constexpr int reserved = 10;
}  // namespace mpi_tag

#endif

// The parts of a file name that say what a file is.
#ifndef SHARED_FILE_NAMES_H
#define SHARED_FILE_NAMES_H

#include <string>

// The extension of a path's file name, in lower case, with its dot ("" when
// it has none), and the path without it.
std::string extension_of(const std::string& path);
std::string stem_of(const std::string& path);

// The name of a path's file, without its folder.
std::string file_name_of(const std::string& path);

#endif

#include "shared/file_names.h"

#include <algorithm>
#include <cctype>

#include "platform/platform.h"

std::string extension_of(const std::string& path)
{
    const std::string name = platform::name_in_folder(path);
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string file_name_of(const std::string& path) { return platform::name_in_folder(path); }

std::string stem_of(const std::string& path) { return path.substr(0, path.size() - extension_of(path).size()); }

#include "gdal/tiff_tile_index.h"

#include <algorithm>
#include <limits>

#include "shared/run_error.h"

namespace {

enum : uint16_t { tag_width = 256, tag_height = 257, tag_tile_offsets = 324, tag_tile_byte_counts = 325 };
enum : uint16_t { type_short = 3, type_long = 4, type_long8 = 16 };

// The numbers of the file as it stores them: least significant byte first
// ("II") or last ("MM"), offsets of 4 bytes (classic) or 8 (BigTIFF).
class TiffNumbers {
public:
    TiffNumbers(ImageFileAccess& file, const std::string& shown_path) : file_(file), shown_path_(shown_path)
    {
        unsigned char head[16] = {};
        file_.read_at(head, 8, 0);
        if (head[0] == 'M' && head[1] == 'M')
            big_endian_ = true;
        else if (head[0] != 'I' || head[1] != 'I')
            refuse();
        const auto version = static_cast<uint16_t>(get(head + 2, 2));
        if (version == 43) {
            big_ = true;
            file_.read_at(head, 16, 0);
            first_directory_ = get(head + 8, 8);
        } else if (version == 42) {
            first_directory_ = get(head + 4, 4);
        } else {
            refuse();
        }
    }

    bool big() const { return big_; }
    uint64_t first_directory() const { return first_directory_; }
    size_t offset_bytes() const { return big_ ? 8 : 4; }
    size_t count_bytes() const { return big_ ? 8 : 2; }  // of a directory's entries
    size_t entry_bytes() const { return big_ ? 20 : 12; }

    uint64_t get(const unsigned char* at, size_t bytes) const
    {
        uint64_t value = 0;
        for (size_t k = 0; k < bytes; ++k) value |= uint64_t{at[big_endian_ ? bytes - 1 - k : k]} << (8 * k);
        return value;
    }
    void put(unsigned char* at, size_t bytes, uint64_t value) const
    {
        for (size_t k = 0; k < bytes; ++k) at[big_endian_ ? bytes - 1 - k : k] = static_cast<unsigned char>(value >> (8 * k));
    }

    [[noreturn]] void refuse() const
    {
        throw RunError("cannot write " + shown_path_ + ": GDAL did not make the TIFF directories expected");
    }

private:
    ImageFileAccess& file_;
    const std::string& shown_path_;
    bool big_endian_ = false;
    bool big_ = false;
    uint64_t first_directory_ = 0;
};

// One entry of a directory, where it lies in the file.
struct Entry {
    uint64_t at = 0;
    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;
    uint64_t value = 0;  // the value itself when it fits (a size), else its offset
};

struct Directory {
    std::vector<Entry> entries;
    uint64_t next = 0;

    const Entry* find(uint16_t tag) const
    {
        for (const Entry& entry : entries)
            if (entry.tag == tag) return &entry;
        return nullptr;
    }
};

Directory read_directory(ImageFileAccess& file, const TiffNumbers& numbers, uint64_t at)
{
    unsigned char count_bytes[8];
    file.read_at(count_bytes, numbers.count_bytes(), at);
    const uint64_t count = numbers.get(count_bytes, numbers.count_bytes());
    if (count == 0 || count > 4096) numbers.refuse();
    std::vector<unsigned char> bytes(count * numbers.entry_bytes() + numbers.offset_bytes());
    const uint64_t first = at + numbers.count_bytes();
    file.read_at(bytes.data(), bytes.size(), first);
    Directory directory;
    const size_t count_size = numbers.big() ? 8 : 4;
    for (uint64_t k = 0; k < count; ++k) {
        const unsigned char* e = bytes.data() + k * numbers.entry_bytes();
        directory.entries.push_back({first + k * numbers.entry_bytes(), static_cast<uint16_t>(numbers.get(e, 2)),
                                     static_cast<uint16_t>(numbers.get(e + 2, 2)), numbers.get(e + 4, count_size),
                                     numbers.get(e + 4 + count_size, numbers.offset_bytes())});
    }
    directory.next = numbers.get(bytes.data() + count * numbers.entry_bytes(), numbers.offset_bytes());
    return directory;
}

// The size of the directory's image, held in its entries (a SHORT or LONG).
int64_t size_of(const Directory& directory, uint16_t tag, const TiffNumbers& numbers)
{
    const Entry* entry = directory.find(tag);
    if (entry == nullptr || entry->count != 1 || (entry->type != type_short && entry->type != type_long)) numbers.refuse();
    // A value shorter than its field lies in the field's first bytes.
    unsigned char field[8];
    numbers.put(field, numbers.offset_bytes(), entry->value);
    return static_cast<int64_t>(numbers.get(field, entry->type == type_short ? 2 : 4));
}

// Writes `values` as the array of `entry`: in the entry when they fit, else
// at `end` (which moves past them).
void write_array(ImageFileAccess& file, const TiffNumbers& numbers, const Entry& entry,
                 const std::vector<uint64_t>& values, uint64_t& end)
{
    const size_t value_bytes = numbers.big() ? 8 : 4;
    std::vector<unsigned char> array(values.size() * value_bytes);
    for (size_t k = 0; k < values.size(); ++k) numbers.put(array.data() + k * value_bytes, value_bytes, values[k]);
    const bool inside = array.size() <= numbers.offset_bytes();
    if (!inside) {
        end += end % 2;  // TIFF offsets are even
        file.write_at(array.data(), array.size(), end);
    }
    unsigned char field[20] = {};
    numbers.put(field, 2, entry.tag);
    numbers.put(field + 2, 2, numbers.big() ? type_long8 : type_long);
    const size_t count_size = numbers.big() ? 8 : 4;
    numbers.put(field + 4, count_size, values.size());
    if (inside)
        std::copy(array.begin(), array.end(), field + 4 + count_size);
    else
        numbers.put(field + 4 + count_size, numbers.offset_bytes(), end);
    file.write_at(field, numbers.entry_bytes(), entry.at);
    if (!inside) end += array.size();
}

}  // namespace

void write_tile_index(ImageFileAccess& file, const std::string& shown_path, const std::vector<DirectoryTiles>& levels,
                      uint64_t end)
{
    const TiffNumbers numbers(file, shown_path);
    std::vector<bool> found(levels.size());
    uint64_t at = numbers.first_directory();
    for (size_t seen = 0; at != 0; ++seen) {
        if (seen == levels.size()) numbers.refuse();  // more directories than levels, or a loop
        const Directory directory = read_directory(file, numbers, at);
        const int64_t width = size_of(directory, tag_width, numbers);
        const int64_t height = size_of(directory, tag_height, numbers);
        const auto level = std::find_if(levels.begin(), levels.end(), [&](const DirectoryTiles& l) {
            return l.width == width && l.height == height;
        });
        const Entry* offsets = directory.find(tag_tile_offsets);
        const Entry* counts = directory.find(tag_tile_byte_counts);
        if (level == levels.end() || found[static_cast<size_t>(level - levels.begin())] || offsets == nullptr ||
            counts == nullptr || offsets->count != level->places.size() || counts->count != level->places.size())
            numbers.refuse();
        found[static_cast<size_t>(level - levels.begin())] = true;
        std::vector<uint64_t> starts, sizes;
        for (const TilePlace& place : level->places) {
            if (!numbers.big() && place.offset + place.bytes > std::numeric_limits<uint32_t>::max())
                throw RunError("cannot write " + shown_path +
                               ": its tiles pass 4 GiB, the most a classic TIFF file holds");
            starts.push_back(place.offset);
            sizes.push_back(place.bytes);
        }
        write_array(file, numbers, *offsets, starts, end);
        write_array(file, numbers, *counts, sizes, end);
        at = directory.next;
    }
    if (std::find(found.begin(), found.end(), false) != found.end()) numbers.refuse();
    if (!numbers.big() && end > std::numeric_limits<uint32_t>::max())
        throw RunError("cannot write " + shown_path + ": it passes 4 GiB, the most a classic TIFF file holds");
}

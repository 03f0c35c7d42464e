// Rows come from several threads in any order, and some come again; each
// part of the image goes through these states, under one lock:
//
//   waiting --first row--> filling --last row--> busy (compressed) --> packed
//   packed --a row again--> busy (taken apart) --> filling, all rows there
//
// A part taken apart again waits for the rest of its repaired rows (a
// repair hands rows top to bottom) and is compressed again once two other
// parts were taken apart after it, or at the end. A thread that needs a busy
// part waits until it settles.
#include "gdal/png_stream_sink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <cpl_vsi.h>

#include "gdal/image_completeness.h"
#include "gdal/png_file.h"
#include "gdal/png_parts.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"

namespace {

// The threads expected to hand rows at once (the engine runs one per core)
// and to compress what is left at the end.
unsigned cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// Parts taken apart again that stay so while later ones are.
constexpr size_t kept_apart = 2;

// The data of one chunk at most.
constexpr uint64_t chunk_limit = (uint64_t{1} << 31) - 1;

class PngStreamSink final : public GdalImageSink {
public:
    PngStreamSink(const std::string& scratch_path, const GdalImage& image, uint64_t packed_memory);
    ~PngStreamSink() override;
    void write_row(int32_t i, ToneRow row) override { write_rows(i, 1, row.size(), row.data()); }
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
    void write_image(const std::function<void(double)>& on_progress) override;
    uint64_t bytes_held() const override;

private:
    enum class State { waiting, filling, busy, packed };
    struct Part {
        State state = State::waiting;
        bool again = false;               // taken apart again, not yet packed again
        std::vector<unsigned char> rows;  // while filling: the rows as the PNG holds them
        std::vector<bool> arrived;        // while filling: which rows came
        int32_t arrived_count = 0;
        PackedPart packed;       // once packed; its bytes are empty when they are in the scratch file
        uint64_t packed_size = 0;
        int64_t spilled_at = -1;  // where in the scratch file, if there
    };
    using Lock = std::unique_lock<std::mutex>;

    int32_t first_row(int32_t p) const { return p * part_rows_; }
    int32_t rows_of(int32_t p) const { return std::min(part_rows_, image_.row_count - first_row(p)); }
    bool last(int32_t p) const { return p + 1 == static_cast<int32_t>(parts_.size()); }

    // These take and give back the lock they are handed.
    Part& ready_for_rows(int32_t p, Lock& lock);
    void pack(int32_t p, Lock& lock);
    void take_apart(int32_t p, Lock& lock);
    void pack_taken_apart(int32_t now, Lock& lock);
    void settle_after_failure(Lock& lock);
    std::vector<unsigned char> take_buffer();
    std::unique_ptr<PartCodec> take_codec();

    // The scratch file, from any thread.
    int64_t spill(const std::vector<unsigned char>& bytes);
    void read_spilled(const Part& part, std::vector<unsigned char>& bytes);

    void write_file(const std::function<void(double)>& on_progress);
    [[noreturn]] void fail(const std::string& reason) const
    {
        throw RunError("cannot write " + image_.shown_path + ": " + reason);
    }

    GdalImage image_;
    std::string scratch_path_;
    uint64_t packed_memory_;
    size_t row_bytes_;
    int32_t part_rows_;

    std::mutex mutex_;  // the parts and everything below
    std::condition_variable settled_;  // a part is no longer busy, or a thread failed
    std::vector<Part> parts_;
    std::vector<std::vector<unsigned char>> free_buffers_;
    std::vector<std::unique_ptr<PartCodec>> free_codecs_;
    uint64_t packed_held_ = 0;         // compressed bytes in memory
    std::deque<int32_t> taken_apart_;  // oldest first
    std::exception_ptr failure_;       // the first, which every thread waiting then throws

    std::mutex spill_mutex_;
    VSILFILE* spill_ = nullptr;
    uint64_t spill_end_ = 0;
};

PngStreamSink::PngStreamSink(const std::string& scratch_path, const GdalImage& image, uint64_t packed_memory)
    : image_(image),
      scratch_path_(scratch_path),
      packed_memory_(packed_memory),
      row_bytes_(static_cast<size_t>(image.column_count) * static_cast<size_t>(image.tone_bytes)),
      part_rows_(png_part_rows(row_bytes_))
{
    // libpng refuses to read an image beyond a million pixels either way
    // unless its reader raises the limit, which GDAL (and so QGIS) does not:
    // such a PNG would be written whole and open nowhere.
    constexpr int32_t libpng_readers_limit = 1000000;
    if (image.row_count > libpng_readers_limit || image.column_count > libpng_readers_limit)
        fail("a PNG of " + std::to_string(image.row_count) + " lines x " + std::to_string(image.column_count) +
             " columns would not open in GDAL or QGIS, whose PNG reader stops at 1000000 pixels either way; "
             "choose a .tif instead");
    parts_.resize(static_cast<size_t>((image.row_count + part_rows_ - 1) / part_rows_));
}

PngStreamSink::~PngStreamSink()
{
    if (spill_ != nullptr) VSIFCloseL(spill_);
}

uint64_t PngStreamSink::bytes_held() const
{
    // The parts filling at once: each stripe fills the part it is in and
    // the part across the seam above it, and there are twice as many
    // stripes as cores at most; then those taken apart again, and a codec
    // per core. The compressed parts kept never exceed the image deflated.
    const uint64_t part = static_cast<uint64_t>(part_rows_) * row_bytes_;
    const uint64_t filling = (4 * uint64_t{cores()} + kept_apart + 1) * part;
    const uint64_t codecs = cores() * PartCodec::bytes_for(row_bytes_, part_rows_);
    const uint64_t filtered = static_cast<uint64_t>(image_.row_count) * (row_bytes_ + 1);
    const uint64_t deflated = filtered + filtered / 1000 + 64 * parts_.size();
    return filling + codecs + std::min(packed_memory_, deflated) + parts_.size() * sizeof(Part);
}

std::vector<unsigned char> PngStreamSink::take_buffer()
{
    if (free_buffers_.empty()) return std::vector<unsigned char>(static_cast<size_t>(part_rows_) * row_bytes_);
    std::vector<unsigned char> buffer = std::move(free_buffers_.back());
    free_buffers_.pop_back();
    return buffer;
}

std::unique_ptr<PartCodec> PngStreamSink::take_codec()
{
    if (free_codecs_.empty()) return std::make_unique<PartCodec>(row_bytes_, image_.tone_bytes, part_rows_);
    std::unique_ptr<PartCodec> codec = std::move(free_codecs_.back());
    free_codecs_.pop_back();
    return codec;
}

// A thread that fails leaves the part it had busy: every thread waiting for
// a part, now or later, ends with the same failure.
void PngStreamSink::settle_after_failure(Lock& lock)
{
    if (!lock.owns_lock()) lock.lock();
    if (!failure_) failure_ = std::current_exception();
    settled_.notify_all();
}

PngStreamSink::Part& PngStreamSink::ready_for_rows(int32_t p, Lock& lock)
{
    Part& part = parts_[static_cast<size_t>(p)];
    for (;;) {
        settled_.wait(lock, [&] { return part.state != State::busy || failure_; });
        if (failure_) std::rethrow_exception(failure_);
        if (part.state == State::filling) return part;
        if (part.state == State::packed) {
            take_apart(p, lock);
        } else {
            part.rows = take_buffer();
            part.arrived.assign(static_cast<size_t>(rows_of(p)), false);
            part.arrived_count = 0;
            part.state = State::filling;
        }
    }
}

void PngStreamSink::pack(int32_t p, Lock& lock)
{
    Part& part = parts_[static_cast<size_t>(p)];
    part.state = State::busy;
    std::vector<unsigned char> rows = std::move(part.rows);
    std::vector<bool>().swap(part.arrived);
    std::unique_ptr<PartCodec> codec = take_codec();
    lock.unlock();
    try {
        PackedPart packed;
        try {
            codec->pack(rows.data(), rows_of(p), last(p), packed);
        } catch (const RunError&) {
            throw;
        } catch (const std::runtime_error& e) {
            fail(e.what());
        }
        const uint64_t size = packed.bytes.size();
        if (size + 6 > chunk_limit) fail("a part of its rows does not fit a PNG chunk");
        lock.lock();
        const bool kept = packed_held_ + size <= packed_memory_;
        if (kept) packed_held_ += size;
        lock.unlock();
        const int64_t at = kept ? -1 : spill(packed.bytes);
        if (!kept) std::vector<unsigned char>().swap(packed.bytes);  // its memory given back, not only emptied
        lock.lock();
        part.packed = std::move(packed);
        part.packed_size = size;
        part.spilled_at = at;
        part.again = false;
        part.state = State::packed;
        free_buffers_.push_back(std::move(rows));
        free_codecs_.push_back(std::move(codec));
        settled_.notify_all();
    } catch (...) {
        settle_after_failure(lock);
        throw;
    }
}

void PngStreamSink::take_apart(int32_t p, Lock& lock)
{
    Part& part = parts_[static_cast<size_t>(p)];
    part.state = State::busy;
    std::vector<unsigned char> rows = take_buffer();
    std::unique_ptr<PartCodec> codec = take_codec();
    std::vector<unsigned char> bytes = std::move(part.packed.bytes);
    if (part.spilled_at < 0) packed_held_ -= part.packed_size;
    lock.unlock();
    try {
        if (part.spilled_at >= 0) read_spilled(part, bytes);
        try {
            codec->unpack(bytes.data(), bytes.size(), rows_of(p), rows.data());
        } catch (const std::runtime_error& e) {
            fail(e.what());
        }
        lock.lock();
        part.rows = std::move(rows);
        part.arrived.assign(static_cast<size_t>(rows_of(p)), true);
        part.arrived_count = rows_of(p);
        part.packed = {};
        part.spilled_at = -1;
        part.again = true;
        part.state = State::filling;
        taken_apart_.push_back(p);
        free_codecs_.push_back(std::move(codec));
        settled_.notify_all();
    } catch (...) {
        settle_after_failure(lock);
        throw;
    }
}

// Packs the parts taken apart before the last few, but part `now`.
void PngStreamSink::pack_taken_apart(int32_t now, Lock& lock)
{
    size_t others = taken_apart_.size() - std::count(taken_apart_.begin(), taken_apart_.end(), now);
    while (others > kept_apart) {
        const int32_t q = taken_apart_.front();
        taken_apart_.pop_front();
        if (q == now) {
            taken_apart_.push_back(q);
            continue;
        }
        --others;
        const Part& part = parts_[static_cast<size_t>(q)];
        if (part.state == State::filling && part.again) pack(q, lock);
    }
}

void PngStreamSink::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    for (int32_t i = first; i < first + count;) {
        const int32_t p = i / part_rows_;
        const int32_t stop = std::min(first + count, first_row(p) + rows_of(p));
        Lock lock(mutex_);
        Part& part = ready_for_rows(p, lock);
        for (; i < stop; ++i) {
            const unsigned char* from = rows + static_cast<size_t>(i - first) * width;
            const auto k = static_cast<size_t>(i - first_row(p));
            unsigned char* to = part.rows.data() + k * row_bytes_;
            if (image_.tone_bytes == 2) {
                // Tones of 16 bits in the machine's order; a PNG holds the
                // most significant byte first.
                for (size_t j = 0; j < row_bytes_; j += 2) {
                    uint16_t tone;
                    std::memcpy(&tone, from + j, 2);
                    to[j] = static_cast<unsigned char>(tone >> 8);
                    to[j + 1] = static_cast<unsigned char>(tone & 0xFF);
                }
            } else {
                std::memcpy(to, from, row_bytes_);
            }
            if (!part.arrived[k]) {
                part.arrived[k] = true;
                ++part.arrived_count;
            }
        }
        if (part.again) pack_taken_apart(p, lock);
        else if (part.arrived_count == rows_of(p)) pack(p, lock);
    }
}

int64_t PngStreamSink::spill(const std::vector<unsigned char>& bytes)
{
    const std::lock_guard<std::mutex> one_writer(spill_mutex_);
    errno = 0;
    if (spill_ == nullptr) spill_ = VSIFOpenL(scratch_path_.c_str(), "w+b");
    const bool written = spill_ != nullptr && VSIFSeekL(spill_, spill_end_, SEEK_SET) == 0 &&
                         VSIFWriteL(bytes.data(), 1, bytes.size(), spill_) == bytes.size() && VSIFFlushL(spill_) == 0;
    if (!written)
        fail(std::string(errno != 0 ? std::strerror(errno) : "it could not be written") +
             " (its compressed rows, kept in a scratch file beside it)");
    const auto at = static_cast<int64_t>(spill_end_);
    spill_end_ += bytes.size();
    return at;
}

void PngStreamSink::read_spilled(const Part& part, std::vector<unsigned char>& bytes)
{
    const std::lock_guard<std::mutex> one_reader(spill_mutex_);
    bytes.resize(part.packed_size);
    errno = 0;
    if (VSIFSeekL(spill_, static_cast<vsi_l_offset>(part.spilled_at), SEEK_SET) != 0 ||
        VSIFReadL(bytes.data(), 1, bytes.size(), spill_) != bytes.size())
        fail(std::string(errno != 0 ? std::strerror(errno) : "it could not be read") +
             " (its compressed rows, kept in a scratch file beside it)");
}

void PngStreamSink::write_image(const std::function<void(double)>& on_progress)
{
    std::vector<int32_t> left;  // parts taken apart again
    {
        const Lock lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);
        for (int32_t p = 0; p < static_cast<int32_t>(parts_.size()); ++p) {
            const Part& part = parts_[static_cast<size_t>(p)];
            if (part.state == State::packed) continue;
            if (part.state != State::filling || part.arrived_count != rows_of(p))
                fail("row " + std::to_string(first_row(p)) + " or one of the next ones was never made");
            left.push_back(p);
        }
        taken_apart_.clear();
    }
    std::atomic<size_t> next{0};
    if (!left.empty())
        run_in_parallel(std::min<size_t>(cores(), left.size()), [&](size_t) {
            for (size_t k; (k = next++) < left.size();) {
                Lock lock(mutex_);
                pack(left[k], lock);
            }
        });
    write_file(on_progress);
}

void PngStreamSink::write_file(const std::function<void(double)>& on_progress)
{
    // A write's own reason (a full disk, the file-size limit) is the system's.
    const auto failed = [&](const char* fallback) {
        fail(errno != 0 ? std::strerror(errno) : fallback);
    };
    errno = 0;
    VSILFILE* file = VSIFOpenL(image_.path.c_str(), "wb");
    if (file == nullptr) failed("it could not be created");
    try {
        const auto put = [&](const unsigned char* data, size_t size) {
            if (size > 0 && VSIFWriteL(data, 1, size, file) != size) failed("it could not be written");
        };
        const std::vector<unsigned char> head = png_head(image_);
        put(head.data(), head.size());
        const std::array<unsigned char, 2> header = zlib_header(png_deflate_level);
        uLong adler = adler32(0, nullptr, 0);
        std::vector<unsigned char> bytes;
        for (int32_t p = 0; p < static_cast<int32_t>(parts_.size()); ++p) {
            const Part& part = parts_[static_cast<size_t>(p)];
            // Each part in an IDAT chunk of its own; the first behind the
            // zlib header, the last followed by the Adler-32 of the rows.
            adler = adler32_combine(adler, part.packed.adler, static_cast<z_off_t>(part.packed.filtered_size));
            const std::vector<unsigned char> before =
                p == 0 ? std::vector<unsigned char>(header.begin(), header.end()) : std::vector<unsigned char>{};
            std::vector<unsigned char> after;
            if (last(p)) add_big_endian(after, static_cast<uint32_t>(adler));
            if (part.spilled_at >= 0) read_spilled(part, bytes);
            const unsigned char* data = part.spilled_at >= 0 ? bytes.data() : part.packed.bytes.data();
            std::vector<unsigned char> frame;
            add_big_endian(frame, static_cast<uint32_t>(before.size() + part.packed_size + after.size()));
            frame.insert(frame.end(), {'I', 'D', 'A', 'T'});
            frame.insert(frame.end(), before.begin(), before.end());
            put(frame.data(), frame.size());
            put(data, part.packed_size);
            frame.assign(after.begin(), after.end());
            add_big_endian(frame, idat_crc(before, part.packed.crc, part.packed_size, after));
            put(frame.data(), frame.size());
            if (on_progress) on_progress(static_cast<double>(p + 1) / static_cast<double>(parts_.size()));
        }
        const std::vector<unsigned char> end = png_end();
        put(end.data(), end.size());
    } catch (...) {
        VSIFCloseL(file);
        throw;
    }
    // The last bytes reach the file as it closes: a full disk may show only then.
    errno = 0;
    if (VSIFCloseL(file) != 0) failed("it could not be finished");
    if (!ends_whole(image_)) fail("the file is incomplete (the disk may be full)");
}

}  // namespace

std::unique_ptr<GdalImageSink> open_png_stream_sink(const std::string& scratch_path, const GdalImage& image,
                                                    uint64_t packed_memory)
{
    return std::make_unique<PngStreamSink>(scratch_path, image, packed_memory);
}

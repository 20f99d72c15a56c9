#include "io/file_loading.hpp"

#include "io/csv.hpp"
#include "io/data_file_parser.hpp"
#include "io/json_export.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <ios>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

namespace orvanalysis::io {

namespace {

// The path as text for a message: bytes that do not form UTF-8 (a bytes path from Python may
// hold any) are written as \xNN, so that the message itself is valid UTF-8.
std::string printable(const std::string& path) {
    std::string text;
    for (std::size_t i = 0; i < path.size();) {
        const auto c = static_cast<unsigned char>(path[i]);
        const std::size_t length = c == 0                   ? 0
                                   : c < 0x80               ? 1
                                   : c >= 0xC2 && c <= 0xDF ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        // The second byte's range excludes overlong forms, surrogates and code points above
        // U+10FFFF, which Python's decoder refuses too.
        const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        bool valid = length != 0 && i + length <= path.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(path[i + k]);
            valid = k == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
        }
        if (valid) {
            text.append(path, i, length);
            i += length;
        } else {
            static const char* digits = "0123456789abcdef";
            text += std::string("\\x") + digits[c >> 4] + digits[c & 0xF];
            ++i;
        }
    }
    return text;
}

// A stream failure for the path, with the text "Could not open file for reading: <path>:
// iostream stream error" whatever words the standard library has for its error category.
class ReadError : public std::ios_base::failure {
public:
    explicit ReadError(const std::string& path)
        : std::ios_base::failure("Could not open file for reading: " + printable(path), std::io_errc::stream),
          message_("Could not open file for reading: " + printable(path) + ": iostream stream error") {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

void check_no_nul(const std::string& file_path) {
    // The file name would end at a NUL byte, and what follows be silently ignored.
    if (file_path.find('\0') != std::string::npos) {
        throw std::invalid_argument("embedded null byte in the file path " + printable(file_path));
    }
}

// Closes its file descriptor when it goes.
struct Descriptor {
    int fd;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// What a path that is not a regular file names, for the message refusing it; nullptr for a
// regular file.
const char* not_a_file(mode_t mode) {
    return S_ISDIR(mode)    ? "a folder"
           : S_ISFIFO(mode) ? "a FIFO"
           : S_ISCHR(mode)  ? "a character device"
           : S_ISBLK(mode)  ? "a block device"
           : S_ISSOCK(mode) ? "a socket"
                            : nullptr;
}

std::ifstream open_for_reading(const std::string& file_path) {
    check_no_nul(file_path);
    std::ifstream in(file_path, std::ios::binary);
    // A directory opens but cannot be read.
    std::error_code error;
    if (!in || std::filesystem::is_directory(file_path, error)) {
        throw ReadError(file_path);
    }
    return in;
}

[[noreturn]] void too_large(const std::string& file_path) {
    throw std::length_error("File larger than " + std::to_string(max_file_bytes) + " bytes: " + printable(file_path));
}

}  // namespace

namespace {

// Every byte of the file into bytes, whose storage is reused: a thread reading many files
// allocates once, rather than returning each file's buffer for the allocator to give back to
// the system and fault in again.
void read_file_into(const std::string& file_path, std::vector<std::uint8_t>& bytes) {
    check_no_nul(file_path);
    const Descriptor file(::open(file_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    // A directory opens but cannot be read.
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        throw ReadError(file_path);
    }
    // A regular file tells its size, so that the bytes are read straight into their place; one
    // byte more shows whether the file grew meanwhile.
    std::size_t capacity = std::size_t{1} << 16;
    if (S_ISREG(status.st_mode)) {
        if (static_cast<std::uint64_t>(status.st_size) > max_file_bytes) {
            too_large(file_path);
        }
        capacity = static_cast<std::size_t>(status.st_size) + 1;
    }
    std::size_t filled = 0;
    bytes.clear();
    bytes.resize(capacity);
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > max_file_bytes) {
                too_large(file_path);  // a stream that does not end, or a file that grew
            }
            bytes.resize(std::min<std::size_t>(2 * filled, max_file_bytes + 1));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw ReadError(file_path);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled > max_file_bytes) {
        too_large(file_path);
    }
    bytes.resize(filled);
}

}  // namespace

std::vector<std::uint8_t> read_file_bytes(const std::string& file_path) {
    std::vector<std::uint8_t> bytes;
    read_file_into(file_path, bytes);
    return bytes;
}

OrvFile load_orvfile(const std::string& file_path) { return load_orvfile_binary_data(read_file_bytes(file_path)); }

namespace {

// load_orvfile of one path of many, its bytes read into a buffer the thread reuses.
void load_one(const std::string& path, std::vector<std::uint8_t>& bytes, LoadedOrvFile& into) {
    try {
        struct stat status {};
        if (path.find('\0') == std::string::npos && ::stat(path.c_str(), &status) == 0) {
            if (const char* kind = not_a_file(status.st_mode)) {
                throw NotARegularFile("'" + printable(path) + "' is " + kind +
                                      ", not a regular file; it was not opened");
            }
        }
        read_file_into(path, bytes);
        into.file = load_orvfile_binary_data(bytes);
    } catch (...) {
        into.error = std::current_exception();
    }
}

}  // namespace

FileLoader::FileLoader(std::vector<std::string> paths, unsigned threads)
    : paths_(std::move(paths)), loaded_(paths_.size()), ready_(paths_.size(), false), by_worker_(paths_.size(), false) {
    // The caller's thread is one of them: it reads the files no other thread has begun.
    try {
        for (std::size_t t = 1; t < std::min<std::size_t>(threads, paths_.size()); ++t) {
            workers_.emplace_back([this] { work(); });
        }
    } catch (...) {
        // A thread the system could not start leaves the work to those that did: the threads
        // started must still be joined, which an exception leaving the constructor would not do.
    }
}

FileLoader::~FileLoader() {
    stopping_ = true;
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void FileLoader::work() {
    std::vector<std::uint8_t> bytes;
    std::vector<LoadedOrvFile> spent;
    for (std::size_t i = next_++; i < paths_.size() && !stopping_; i = next_++) {
        load_one(paths_[i], bytes, loaded_[i]);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ready_[i] = true;
            by_worker_[i] = true;
            spent.swap(spent_);
            loaded_one_.notify_all();
        }
        // Freed by the thread that made them, whose next file reuses their memory.
        spent.clear();
    }
}

bool FileLoader::ready(std::size_t i) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return ready_.at(i);
}

LoadedOrvFile FileLoader::take(std::size_t i) {
    // Until file i is read, the caller reads the next file no thread has begun: it waits only
    // when every file up to i is begun, and a thread handing over each file it read would cost
    // a wake-up per file.
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!ready_.at(i) && next_ >= paths_.size()) {
                loaded_one_.wait(lock, [&] { return static_cast<bool>(ready_[i]); });
            }
            if (ready_[i]) {
                if (!by_worker_[i]) {
                    return std::move(loaded_[i]);
                }
                // What another thread read is copied here and handed back for that thread to
                // free: its allocator arena then holds a few files at a time, which it reuses.
                // Were the caller to keep every file that thread read, freeing them later would
                // give the arena's memory back to the system at once, and the next load would
                // fault every page in again; that costs more than the copy.
                lock.unlock();
                LoadedOrvFile copy = loaded_[i];
                lock.lock();
                spent_.push_back(std::move(loaded_[i]));
                return copy;
            }
        }
        const std::size_t j = next_++;
        if (j < paths_.size()) {
            load_one(paths_[j], bytes_, loaded_[j]);
            const std::lock_guard<std::mutex> lock(mutex_);
            ready_[j] = true;
        }
    }
}

std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path) {
    return load_orv_scan_binary_data(read_file_bytes(file_path));
}

std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii) {
    check_json_indent(indent);
    return orvfile_to_json_binary_data(read_file_bytes(file_path), indent, ensure_ascii);
}

Scan load_csv(const std::string& file_path) {
    std::ifstream in = open_for_reading(file_path);
    // A first pass over the file counts its lines, so that its points are stored without the
    // copies of a growing array.
    std::size_t points = 0;
    std::error_code error;
    if (std::filesystem::is_regular_file(file_path, error)) {
        const std::uintmax_t size = std::filesystem::file_size(file_path, error);
        if (!error && size > max_file_bytes) {
            too_large(file_path);
        }
        // A data line takes at least four bytes: "1,1" and its line end.
        points = std::min<std::size_t>(count_lines(in), static_cast<std::size_t>(size / 4 + 1));
        in.clear();
        in.seekg(0);
        if (!in) {
            throw ReadError(file_path);
        }
    }
    Scan scan = read_csv(in, printable(file_path), points);
    if (in.bad()) {
        throw ReadError(file_path);
    }
    return scan;
}

}  // namespace orvanalysis::io

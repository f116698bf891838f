#include "engines/jet/format/page_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "core/error.h"
#include "engines/jet/format/rc4.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dorvane::jet {

namespace {

constexpr std::array<std::uint8_t, 4> kHeaderMaskKey{0xC7, 0xDA, 0x39, 0x6B};
constexpr char kJetSignature[] = "Standard Jet DB";  // 15 characters, then NUL
constexpr char kAceSignature[] = "Standard ACE DB";
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kVersionOffset = 0x14;

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

class MemorySource final : public PageSource {
public:
    explicit MemorySource(Bytes contents) : contents_(std::move(contents)) {}
    std::uint64_t Size() const override { return contents_.size(); }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > contents_.size() || out.size() > contents_.size() - offset) {
            ThrowCorrupt("read past the end of the file");
        }
        std::memcpy(out.data(), contents_.data() + offset, out.size());
    }

private:
    Bytes contents_;
};

#ifdef _WIN32
class FileSource final : public PageSource {
public:
    static std::unique_ptr<FileSource> Open(const std::filesystem::path& path) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
                throw Error(errc::kFileNotFound, "Could not find file " + Quoted(path) + ".");
            }
            if (code == ERROR_SHARING_VIOLATION) {
                throw Error(errc::kInUse, "The database " + Quoted(path) + " is in use by another program.");
            }
            throw Error(errc::kPermissionDenied, "Cannot open " + Quoted(path) + ".");
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(handle, &size)) {
            CloseHandle(handle);
            throw Error(errc::kIoError, "Cannot read the size of " + Quoted(path) + ".");
        }
        return std::make_unique<FileSource>(handle, static_cast<std::uint64_t>(size.QuadPart));
    }
    ~FileSource() override { CloseHandle(handle_); }
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(handle_, out.data(), static_cast<DWORD>(out.size()), &got, &at) || got != out.size()) {
            throw Error(errc::kIoError, "read error in the database file");
        }
    }

    FileSource(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

private:
    HANDLE handle_;
    std::uint64_t size_;
};
#else
class FileSource final : public PageSource {
public:
    static std::unique_ptr<FileSource> Open(const std::filesystem::path& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int code = errno;
            if (code == ENOENT || code == ENOTDIR) {
                throw Error(errc::kFileNotFound, "Could not find file " + Quoted(path) + ".");
            }
            if (code == EACCES || code == EPERM) {
                throw Error(errc::kPermissionDenied, "Permission denied: " + Quoted(path) + ".");
            }
            throw Error(errc::kIoError, "Cannot open " + Quoted(path) + ": " + std::strerror(code) + ".");
        }
        auto source = std::make_unique<FileSource>(fd);
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            throw Error(errc::kIoError, "Cannot read the size of " + Quoted(path) + ".");
        }
        if (S_ISDIR(info.st_mode)) {
            throw Error(errc::kNotADatabase, Quoted(path) + " is a folder, not an Access database.");
        }
        source->size_ = static_cast<std::uint64_t>(info.st_size);
        return source;
    }
    ~FileSource() override { ::close(fd_); }
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) continue;
                throw Error(errc::kIoError, std::string("read error in the database file: ") + std::strerror(errno));
            }
            if (got == 0) ThrowCorrupt("the file ended while a page was read (was it truncated?)");
            done += static_cast<std::size_t>(got);
        }
    }

    explicit FileSource(int fd) : fd_(fd) {}
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

private:
    int fd_;
    std::uint64_t size_ = 0;
};
#endif

}  // namespace

PageFile::PageFile(std::unique_ptr<PageSource> source, std::filesystem::path path)
    : source_(std::move(source)), path_(std::move(path)) {
    const std::uint64_t size = source_->Size();
    const std::string name = path_.empty() ? std::string("the file") : Quoted(path_);
    if (size < kVersionOffset + 1) {
        throw Error(errc::kNotADatabase, name + " is not an Access database (it is too short).");
    }
    std::array<std::uint8_t, 0x20> start{};
    source_->Read(0, std::span<std::uint8_t>(start.data(), start.size()));
    const auto signature = [&](const char* text) {
        return std::memcmp(start.data() + kSignatureOffset, text, std::strlen(text) + 1) == 0;
    };
    if (signature(kAceSignature)) {
        throw Error(errc::kNotADatabase,
                    name + " is in a later Access format (.accdb) that this engine does not read.");
    }
    if (start[0] != kPageHeader || !signature(kJetSignature)) {
        throw Error(errc::kNotADatabase, name + " is not an Access database.");
    }
    const std::uint8_t version = start[kVersionOffset];
    if (version > 1) {
        throw Error(errc::kNotADatabase, name + " is in a later Access format (version " +
                                             std::to_string(version) + ") that this engine does not read.");
    }
    format_ = &FormatFor(version == 0 ? Version::kJet3 : Version::kJet4);
    if (size < format_->page_size) {
        throw Error(errc::kCorrupt, "damaged database: " + name + " is truncated inside its header page.");
    }
    const std::uint64_t pages = size / format_->page_size;
    if (pages > std::numeric_limits<std::uint32_t>::max() >> 8) {
        // A row pointer has 24 bits for the page; nothing past that is addressable.
        throw Error(errc::kCorrupt, "damaged database: " + name + " is larger than the format allows.");
    }
    page_count_ = static_cast<std::uint32_t>(pages);
    raw_header_.resize(format_->page_size);
    source_->Read(0, raw_header_);
    header_ = raw_header_;
    Rc4Apply(kHeaderMaskKey, std::span<std::uint8_t>(header_.data() + format_->header_mask_offset,
                                                     format_->header_mask_length));
}

PageFile PageFile::Open(const std::filesystem::path& path) {
    return PageFile(FileSource::Open(path), path);
}

PageFile PageFile::FromMemory(Bytes contents) {
    return PageFile(std::make_unique<MemorySource>(std::move(contents)), {});
}

PageFile::PageFile(PageFile&&) noexcept = default;
PageFile& PageFile::operator=(PageFile&&) noexcept = default;
PageFile::~PageFile() = default;

std::uint16_t PageFile::code_page() const { return Le16(header_, format_->header_code_page); }

std::uint32_t PageFile::encryption_key() const { return Le32(header_, format_->header_encryption_key); }

void PageFile::ReadRawPage(std::uint32_t number, Bytes& out) const {
    if (number >= page_count_) {
        ThrowCorrupt("page " + std::to_string(number) + " is outside the file (" +
                     std::to_string(page_count_) + " pages)");
    }
    out.resize(format_->page_size);
    source_->Read(static_cast<std::uint64_t>(number) * format_->page_size, out);
}

void PageFile::ReadPage(std::uint32_t number, Bytes& out) const {
    ReadRawPage(number, out);
    const std::uint32_t key = encryption_key();
    if (number != 0 && key != 0) ApplyPageCipher(key, number, out);
    if (number == 0) out = header_;
}

Bytes PageFile::ReadPage(std::uint32_t number) const {
    Bytes out;
    ReadPage(number, out);
    return out;
}

}  // namespace dorvane::jet

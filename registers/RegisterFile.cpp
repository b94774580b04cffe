// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegisterFile.h"

#ifdef _WIN32
#include "base/WindowsFiles.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/SafeSave.h"
#include "base/Text.h"

namespace vyx {
namespace {

// Fixed texts of the load failures.
constexpr const char* kNotEnoughData = "Unable to load tree structure, not enough data available.";
constexpr const char* kWrongFormat = "Unable to load tree structure, the format is wrong.";
constexpr const char* kUnknownVersion = "Unable to load tree structure, the version is unknown.";
constexpr const char* kAnchorMissing = "Stream data corrupt. A node's anchor chunk is missing.";
constexpr const char* kUnexpectedData =
    "Stream data corrupt. Unexpected data after node's end position.";
constexpr const char* kChunkTooLarge =
    "Stream data corrupt. Chunk size exceeds the data available.";
constexpr const char* kNestingTooDeep = "Stream data corrupt. Nesting too deep.";
constexpr const char* kInvalidProperty = "Invalid property value";
constexpr const char* kReadError = "Stream read error";

constexpr int32_t kChunkNode = 1;
constexpr int32_t kChunkBase = 2;
constexpr int32_t kChunkCaption = 3;
constexpr int32_t kChunkUser = 4;

constexpr uint8_t kFormString = 0x06;   // 1-byte length, Windows-1250
constexpr uint8_t kFormLString = 0x0C;  // 4-byte length, Windows-1250
constexpr uint8_t kFormWString = 0x12;  // 4-byte count of code units, UTF-16LE
constexpr uint8_t kFormUtf8 = 0x14;     // 4-byte length, UTF-8

constexpr char16_t kMagic0 = 0x2045, kMagic1 = 0x0056, kMagic2 = 0x0054, kMagic5 = 0x2046;
constexpr uint16_t kVersionWritten = 2;

// Smallest node chunk a file can hold for a child: node header, base header and
// base body.
constexpr int64_t kMinNodeBytes[] = {28, 28, 33};

class Reader {
public:
    Reader(TRegisterTree& tree, std::span<const uint8_t> bytes)
        : tree_(tree),
          data_(bytes.data()),
          size_(static_cast<int64_t>(bytes.size())),
          // A user chunk may be shorter than its strings, which are then read
          // whole and partly read again as chunks. Honest files stay far below
          // this; hostile ones that overlap strings over and over are stopped
          // before their work or memory grows with the square of their size.
          stringBudget_(4 * static_cast<uint64_t>(bytes.size()) + 65536) {}

    int Load() {
        if (size_ < 12) throw Error(kNotEnoughData);
        const uint16_t unit0 = U16(), unit1 = U16(), unit2 = U16(), version = U16();
        U16();  // code unit 4 is not examined
        const uint16_t unit5 = U16();
        if (unit0 != kMagic0 || unit1 != kMagic1 || unit2 != kMagic2 || unit5 != kMagic5)
            throw Error(kWrongFormat);
        if (version > 2) throw Error(kUnknownVersion);
        version_ = version;

        uint32_t count = std::numeric_limits<int32_t>::max();
        if (version_ >= 2) {
            Need(4);
            count = U32();
        }
        while (pos_ < size_ && count > 0) {
            --count;
            ReadNode(tree_.AddChild(nullptr), 1);
        }
        return version_;
    }

private:
    // A skip may leave the position past the end of the data; any read from
    // there fails.
    void Need(uint64_t n) const {
        if (pos_ > size_ || n > static_cast<uint64_t>(size_ - pos_)) throw Error(kReadError);
    }
    // The position only moves: past the node's end the node's loop stops and
    // reports the overrun, past the data the next read fails.
    void SeekTo(int64_t position) { pos_ = position; }
    uint8_t U8() { return data_[pos_++]; }
    uint16_t U16() {
        const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        const uint32_t v = static_cast<uint32_t>(data_[pos_]) |
                           (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                           (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
                           (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }

    void ReadHeader(int32_t& type, int32_t& size) {
        Need(8);
        type = I32();
        size = I32();
    }

    void ReadNode(TNode* node, size_t level) {
        int32_t type, size;
        ReadHeader(type, size);
        if (type != kChunkNode) throw Error(kAnchorMissing);
        if (size < 0) throw Error(kChunkTooLarge);
        const int64_t end = pos_ + size;
        while (pos_ < end) {
            ReadHeader(type, size);
            ReadChunk(node, level, type, size, end);
        }
        if (pos_ != end) throw Error(kUnexpectedData);
    }

    void ReadChunk(TNode* node, size_t level, int32_t type, int32_t size, int64_t nodeEnd) {
        switch (type) {
            case kChunkBase:
                if (size < 0) throw Error(kChunkTooLarge);
                ReadBase(node, level, nodeEnd);
                break;
            case kChunkUser:
                if (size > 0) {
                    const int64_t start = pos_;
                    ReadRecord(node->Record);
                    SeekTo(start + size);
                }
                break;
            case kChunkCaption:
                // The caption duplicates Name, which comes from the user chunk alone.
                if (size < 0) throw Error(kChunkTooLarge);
                Need(static_cast<uint64_t>(size));
                pos_ += size;
                break;
            default:
                if (size < 0) throw Error(kChunkTooLarge);
                SeekTo(pos_ + size);
                break;
        }
    }

    void ReadBase(TNode* node, size_t level, int64_t nodeEnd) {
        uint32_t childCount;
        if (version_ >= 2) {
            Need(17);
            childCount = U32();
            node->NodeHeight = static_cast<uint16_t>(U32());
            node->States = U16();
            node->Align = U8();
            node->CheckState = U8();
            node->CheckType = U8();
            pos_ += 4;  // reserved
        } else {
            Need(12);
            childCount = U32();
            node->NodeHeight = static_cast<uint16_t>(U32());
            const uint8_t states = U8();
            node->States = static_cast<uint16_t>(states | kStateVisible |
                                                 ((states & 0x80) ? kStateSelected : 0));
            node->Align = U8();
            node->CheckState = U8();
            node->CheckType = U8();
        }
        if (childCount == 0) return;
        if (level >= kMaxNesting) throw Error(kNestingTooDeep);
        if (static_cast<int64_t>(childCount) * kMinNodeBytes[version_] > nodeEnd - pos_)
            throw Error(kChunkTooLarge);
        for (uint32_t i = 0; i < childCount; ++i) ReadNode(tree_.AddChild(node), level + 1);
    }

    void ReadRecord(TRegData& record) {
        record.Name = ReadString();
        record.Note = ReadString();
        record.Address = ReadString();
        record.DataType = ReadString();
        record.Length = ReadString();
        record.Access = ReadString();
        record.Value = ReadString();
    }

    std::u16string ReadString() {
        Need(1);
        const uint8_t form = U8();
        uint64_t length;
        switch (form) {
            case kFormString:
                Need(1);
                length = U8();
                break;
            case kFormLString:
            case kFormUtf8:
                Need(4);
                length = U32();
                break;
            case kFormWString:
                Need(4);
                length = 2 * static_cast<uint64_t>(U32());
                break;
            default:
                throw Error(kInvalidProperty);
        }
        Need(length);
        if (length > stringBudget_) throw Error(kChunkTooLarge);
        stringBudget_ -= length;

        const auto* bytes = data_ + pos_;
        pos_ += static_cast<int64_t>(length);
        const std::string_view view(reinterpret_cast<const char*>(bytes), length);
        if (form == kFormUtf8) return FromUtf8(view);
        if (form != kFormWString) return FromCp1250(view);
        std::u16string text(length / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return text;
    }

    TRegisterTree& tree_;
    const uint8_t* data_;
    int64_t size_;
    int64_t pos_ = 0;
    int version_ = 0;
    uint64_t stringBudget_;
};

void ClearSelected(const TRegisterTree& tree) {
    for (TNode* n = tree.First(); n != nullptr; n = tree.NextNode(n))
        n->States = static_cast<uint16_t>(n->States & ~kStateSelected);
}

#ifndef _WIN32
std::string FullPath(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    return PathToUtf8(ec ? path : full);
}
#endif

#ifdef _WIN32
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    return win::ReadFileBytes(path, kMaxRegisterFileBytes);
}
#else
// The whole contents of a regular file; failures carry the open error's text.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    auto fail = [&](const TFileReason& reason) { return FileError(TFileAction::Open, FullPath(path), reason); };
    // Non-blocking, so that a FIFO given by mistake cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw fail(ErrnoReason(errno));
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw fail(ErrnoReason(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw fail(S_ISDIR(st.st_mode) ? ErrnoReason(EISDIR) : NotRegularFile());
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxRegisterFileBytes) {
        ::close(fd);
        throw fail(TooLargeFile(kMaxRegisterFileBytes));
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throw fail(ErrnoReason(error));
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > kMaxRegisterFileBytes) {  // it grew while read
            ::close(fd);
            throw fail(TooLargeFile(kMaxRegisterFileBytes));
        }
    }
    ::close(fd);
    return bytes;
}
#endif

class Writer {
public:
    std::vector<uint8_t> Write(const TRegisterTree& tree) {
        for (char16_t unit : {kMagic0, kMagic1, kMagic2, static_cast<char16_t>(kVersionWritten),
                              u' ', kMagic5})
            U16(unit);
        U32(static_cast<uint32_t>(tree.TopLevelCount()));
        for (size_t i = 0; i < tree.TopLevelCount(); ++i) WriteNode(tree.TopLevel(i));
        return std::move(out_);
    }

private:
    // A node whose base chunk is open while its children are written.
    struct Open {
        const TNode* node;
        size_t nodeSizeAt;
        size_t baseSizeAt;
        size_t nextChild;
    };

    // Depth first without recursion: a tree built in memory may be deeper than
    // any stack.
    void WriteNode(const TNode* top) {
        std::vector<Open> open;
        open.push_back(Begin(top));
        while (!open.empty()) {
            Open& current = open.back();
            if (current.nextChild < current.node->ChildCount()) {
                const TNode* child = current.node->Child(current.nextChild++);
                if (open.size() >= kMaxNesting)
                    throw Error("Unable to save tree structure, it is nested deeper than " +
                                std::to_string(kMaxNesting) + " levels.");
                open.push_back(Begin(child));
                continue;
            }
            Finish(current);
            open.pop_back();
        }
    }

    Open Begin(const TNode* node) {
        Open o{node, 0, 0, 0};
        I32(kChunkNode);
        o.nodeSizeAt = Placeholder();
        I32(kChunkBase);
        o.baseSizeAt = Placeholder();
        U32(static_cast<uint32_t>(node->ChildCount()));
        U32(node->NodeHeight);
        U16(SavedStates(node->States));
        U8(node->Align);
        U8(node->CheckState);
        U8(node->CheckType);
        U32(0);
        return o;
    }

    void Finish(const Open& o) {
        PatchSize(o.baseSizeAt);

        I32(kChunkUser);
        const size_t userSizeAt = Placeholder();
        const TRegData& r = o.node->Record;
        for (const std::u16string* field :
             {&r.Name, &r.Note, &r.Address, &r.DataType, &r.Length, &r.Access, &r.Value})
            String(*field);
        if (out_.size() == userSizeAt + 4)
            out_.resize(userSizeAt - 4);
        else
            PatchSize(userSizeAt);

        if (!r.Name.empty()) {
            I32(kChunkCaption);
            I32(CheckedSize(2 * static_cast<uint64_t>(r.Name.size())));
            for (char16_t unit : r.Name) U16(unit);
        }
        PatchSize(o.nodeSizeAt);
    }

    // The shortest of the forms. A text with a lone surrogate, which UTF-8
    // cannot carry, always goes as UTF-16 so that it reads back unchanged.
    void String(std::u16string_view text) {
        uint64_t utf8Size = 0;
        bool ascii = true, loneSurrogate = false;
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c < 0x80) {
                utf8Size += 1;
                continue;
            }
            ascii = false;
            if (c < 0x800) {
                utf8Size += 2;
            } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                       text[i + 1] <= 0xDFFF) {
                utf8Size += 4;
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                loneSurrogate = true;
                utf8Size += 3;
            } else {
                utf8Size += 3;
            }
        }
        const uint64_t units = text.size();
        if (utf8Size >= 2 * units || loneSurrogate) {
            U8(kFormWString);
            U32(static_cast<uint32_t>(CheckedSize(units)));
            const size_t at = out_.size();
            out_.resize(at + 2 * text.size());
            for (size_t i = 0; i < text.size(); ++i) {
                out_[at + 2 * i] = static_cast<uint8_t>(text[i]);
                out_[at + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
            }
        } else if (ascii) {
            if (units <= 255) {
                U8(kFormString);
                U8(static_cast<uint8_t>(units));
            } else {
                U8(kFormLString);
                U32(static_cast<uint32_t>(CheckedSize(units)));
            }
            const size_t at = out_.size();
            out_.resize(at + text.size());
            for (size_t i = 0; i < text.size(); ++i) out_[at + i] = static_cast<uint8_t>(text[i]);
        } else {
            const std::string utf8 = ToUtf8(text);
            U8(kFormUtf8);
            U32(static_cast<uint32_t>(CheckedSize(utf8.size())));
            out_.insert(out_.end(), utf8.begin(), utf8.end());
        }
    }

    static int32_t CheckedSize(uint64_t size) {
        if (size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            throw Error("Unable to save tree structure, a node is too large.");
        return static_cast<int32_t>(size);
    }

    size_t Placeholder() {
        const size_t at = out_.size();
        U32(0);
        return at;
    }
    void PatchSize(size_t at) {
        const uint32_t size = static_cast<uint32_t>(CheckedSize(out_.size() - (at + 4)));
        for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(size >> (8 * i));
    }

    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) {
        out_.push_back(static_cast<uint8_t>(v));
        out_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }

    std::vector<uint8_t> out_;
};

}  // namespace

int LoadRegisterBytes(TRegisterTree& tree, std::span<const uint8_t> bytes) {
    tree.Clear();
    Reader reader(tree, bytes);
    // A failed load ends before the selected flags are cleared: the nodes read
    // so far keep theirs.
    const int version = reader.Load();
    ClearSelected(tree);
    return version;
}

std::vector<uint8_t> ReadRegisterFileBytes(const std::filesystem::path& path) { return ReadWholeFile(path); }

int LoadRegisterFile(TRegisterTree& tree, const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return LoadRegisterBytes(tree, bytes);
}

std::vector<uint8_t> SaveRegisterBytes(const TRegisterTree& tree) { return Writer().Write(tree); }

void SaveRegisterFile(const TRegisterTree& tree, const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = SaveRegisterBytes(tree);
    SaveFileBytes(path, bytes);
}

}  // namespace vyx

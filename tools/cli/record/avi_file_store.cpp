#include "avi_file_store.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "color_modes.h"
#include "jpeg_encoder.h"
#include "recording_parts.h"
#include "recording_report.h"
#include "volume_room.h"
#include "win32_guards.h"

namespace recording {
namespace {

// The writer's sink on a Windows file: every count checked, the first
// Windows error kept for the report.
struct FileSink {
    HANDLE file;
    DWORD error = 0;

    bool Fail() {
        if (!error) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        return false;
    }
    static bool Write(void *context, const void *bytes, size_t size) {
        FileSink &sink = *static_cast<FileSink *>(context);
        const BYTE *at = static_cast<const BYTE *>(bytes);
        while (size > 0) {
            const DWORD asked = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            SetLastError(0);
            // A short write is tried on: the try after it tells why (a full disk).
            if (!WriteFile(sink.file, at, asked, &written, nullptr) || written == 0) return sink.Fail();
            at += written;
            size -= written;
        }
        return true;
    }
    // The next append goes to the end again, wherever this wrote.
    static bool WriteAt(void *context, uint64_t offset, const void *bytes, size_t size) {
        FileSink &sink = *static_cast<FileSink *>(context);
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        const LARGE_INTEGER zero{};
        SetLastError(0);
        if (!SetFilePointerEx(sink.file, to, nullptr, FILE_BEGIN)) return sink.Fail();
        const bool written = Write(context, bytes, size);
        if (!SetFilePointerEx(sink.file, zero, nullptr, FILE_END)) return sink.Fail();
        return written;
    }
    static bool Flush(void *context) {
        FileSink &sink = *static_cast<FileSink *>(context);
        SetLastError(0);
        return FlushFileBuffers(sink.file) || sink.Fail();
    }
};

class AviFileStore : public PictureStore {
public:
    AviFileStore(std::string path, FrameFormat format, const AviFileSettings &settings)
        : first_(std::move(path)), format_(format), settings_(settings), parts_(settings.partsBefore) {
        if (settings_.fileLimit == 0) settings_.fileLimit = LimitsOf(first_).largestFile;
    }

    bool Open(WriteFailure &failure) {
        if (settings_.codec == avi::Codec::kMjpeg && !encoder_.Ready())
            return Failed(failure, "the JPEG encoder could not be set up");
        return OpenPart(failure);
    }

    bool Keep(const BYTE *frame, int64_t, WriteFailure &failure) override {
        const BYTE *pixels = frame;
        int bits = 8;
        if (!Grey()) {
            bits = 24;
            if (format_.colorMode != colormode::kRgb24) {
                WidenFrame(format_, frame, bgr_);
                pixels = bgr_.data();
            }
        }
        if (settings_.codec == avi::Codec::kRaw) {
            const size_t bytes = static_cast<size_t>(format_.width) * static_cast<size_t>(format_.height) *
                                 static_cast<size_t>(bits / 8);
            if (!Step(pixels, bytes, failure)) return false;
            // A repeat that has to open the next part writes this picture again.
            last_.assign(pixels, pixels + bytes);
            return true;
        }
        if (!encoder_.Encode(pixels, format_.width, format_.height, format_.width * bits / 8, bits,
                             settings_.quality, jpeg_))
            return Failed(failure, "the JPEG encoder failed");
        if (!Step(jpeg_.data(), jpeg_.size(), failure)) return false;
        last_.swap(jpeg_);
        return true;
    }
    bool Repeat(WriteFailure &failure) override { return Step(nullptr, 0, failure); }
    bool Refresh(WriteFailure &failure) override {
        return closed_ || writer_.Refresh() || Failed(failure, writer_.Error());
    }
    bool Close(WriteFailure &failure) override {
        return closed_ || writer_.Close() || Failed(failure, writer_.Error());
    }
    std::vector<FilePart> Parts() const override { return parts_; }

private:
    bool Grey() const { return format_.colorMode == colormode::kGrey8; }
    bool Failed(WriteFailure &failure, const char *why) {
        failure = WriteFailure{path_, sink_.error, false, sink_.error ? "" : why};
        return false;
    }

    // One time step into the part being written, or into the next one.
    bool Step(const uint8_t *bytes, size_t size, WriteFailure &failure) {
        const size_t stepBytes = size == 0 && parts_.back().steps == 0 ? last_.size() : size;
        if (!RoomToClose(stepBytes)) return CloseNearlyFull(failure);
        if (!writer_.Fits(stepBytes)) {
            if (parts_.back().steps == 0) return Failed(failure, "the volume's largest file holds no frame");
            return NextPart(true, failure) && Step(bytes, size, failure);
        }
        const int64_t stepsBefore = parts_.back().steps;
        bool written = false;
        if (Add(bytes, size, written)) return true;
        Failed(failure, writer_.Error());
        // A write that fails while the disk still has room for it met a limit
        // of the file's own, which its volume did not tell: the part stays as
        // a cut file does, and the step goes to the next. Else the disk is full.
        uint64_t free = 0;
        if (stepsBefore == 0 || !Free(free) || free < stepBytes + kRoomToCloseBytes) return false;
        const WriteFailure cut = failure;
        if (NextPart(false, failure) && (written || Add(bytes, size, written))) return true;
        if (parts_.back().steps == 0) DropPart();
        failure = cut;
        return false;
    }

    // The step into the part being written. Every part opens with a picture:
    // a repeat there holds the picture it repeats. `written` also when only
    // the headers' refresh after it failed: the step is whole in the file.
    bool Add(const uint8_t *bytes, size_t size, bool &written) {
        if (size == 0 && parts_.back().steps == 0) {
            bytes = last_.data();
            size = last_.size();
        }
        const uint64_t stepsBefore = writer_.Steps();
        const bool added = size == 0 ? writer_.AddRepeat() : writer_.AddFrame(bytes, size);
        written = writer_.Steps() > stepsBefore;
        if (written) ++parts_.back().steps;
        return added;
    }

    // A part just begun that holds no step goes again.
    void DropPart() {
        file_.reset();
        DeleteFileA(path_.c_str());
        parts_.pop_back();
        path_ = parts::PartPath(first_, static_cast<int>(parts_.size()));
    }

    // The room the disk has left, or its stand-in less what was written since.
    bool Free(uint64_t &bytes) const {
        if (settings_.freeBytes == kAskTheVolume) return FreeBytes(path_, bytes);
        const uint64_t written = writtenBefore_ + writer_.Bytes();
        bytes = settings_.freeBytes > written ? settings_.freeBytes - written : 0;
        return true;
    }

    // Not known: a full disk still leaves the file as a cut one.
    bool RoomToClose(size_t size) const {
        uint64_t free = 0;
        return !Free(free) || free >= writer_.GrowthToClose(size) + kRoomToCloseBytes;
    }

    bool CloseNearlyFull(WriteFailure &failure) {
        closed_ = true;
        if (!writer_.Close()) return Failed(failure, writer_.Error());
        failure = WriteFailure{path_, 0, false, "", true};
        return false;
    }

    // Closes the part (whole, or as it stands after a failed write) and
    // opens the next, telling FILE.txt.
    bool NextPart(bool whole, WriteFailure &failure) {
        if (!whole) writer_.SettleCounts();
        if (!writer_.Close() && whole) return Failed(failure, writer_.Error());
        if (parts_.size() >= static_cast<size_t>(parts::kMostParts)) {
            sink_.error = 0;
            return Failed(failure, "the recording has as many parts as their names allow");
        }
        if (OpenPart(failure)) return true;
        if (parts_.back().steps == 0) DropPart();
        return false;
    }

    bool OpenPart(WriteFailure &failure) {
        writtenBefore_ += writer_.Bytes();
        const int number = static_cast<int>(parts_.size()) + 1;
        path_ = parts::PartPath(first_, number);
        // Shared for reading: a player may open the file while it grows.
        const HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failure = WriteFailure{path_, GetLastError(), false, ""};
            return false;
        }
        file_.reset(file);
        sink_ = FileSink{file};
        parts_.push_back(FilePart{path_.substr(path_.find_last_of("\\/") + 1), 0});
        const avi::WriterSink sink{&sink_, FileSink::Write, FileSink::WriteAt,
                                   settings_.flush ? FileSink::Flush : nullptr};
        if (!writer_.Open(sink, WriterSettingsFor(format_, settings_))) return Failed(failure, writer_.Error());
        // The figures come at the end; a cut recording still names its parts.
        WriteReportFile(AviReportPath(first_), std::string(kUnderWay) + PartsText(parts_, settings_.gaps));
        return true;
    }

    const std::string first_;
    const FrameFormat format_;
    AviFileSettings settings_;
    std::vector<FilePart> parts_;
    std::string path_;  // the part being written
    guards::UniqueKernelHandle file_;
    FileSink sink_{nullptr};
    avi::Writer writer_;
    uint64_t writtenBefore_ = 0;  // the bytes of the parts closed
    bool closed_ = false;
    cli::JpegEncoder encoder_;
    std::vector<BYTE> bgr_;
    std::vector<uint8_t> jpeg_;
    std::vector<uint8_t> last_;  // the last picture as written
};

}  // namespace

avi::WriterSettings WriterSettingsFor(FrameFormat format, const AviFileSettings &settings) {
    avi::WriterSettings writer;
    writer.width = format.width;
    writer.height = format.height;
    writer.codec = settings.codec;
    writer.bits = format.colorMode == colormode::kGrey8 && settings.codec == avi::Codec::kRaw ? 8 : 24;
    writer.rate = settings.rate;
    writer.segmentBytes = settings.segmentBytes;
    writer.fileLimit = settings.fileLimit;
    return writer;
}

std::unique_ptr<PictureStore> MakeAviFileStore(const std::string &path, FrameFormat format,
                                               const AviFileSettings &settings, WriteFailure &failure) {
    std::unique_ptr<AviFileStore> store(new AviFileStore(path, format, settings));
    if (!store->Open(failure)) return nullptr;
    return std::unique_ptr<PictureStore>(std::move(store));
}

}  // namespace recording

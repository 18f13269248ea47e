#include "avi_file_store.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "color_modes.h"
#include "jpeg_encoder.h"
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
    AviFileStore(std::string path, FrameFormat format, const AviFileSettings &settings, HANDLE file)
        : path_(std::move(path)), format_(format), settings_(settings), file_(file), sink_{file} {}

    bool Open(WriteFailure &failure) {
        avi::WriterSettings writer;
        writer.width = format_.width;
        writer.height = format_.height;
        writer.codec = settings_.codec;
        writer.bits = Grey() && settings_.codec == avi::Codec::kRaw ? 8 : 24;
        writer.rate = settings_.rate;
        writer.segmentBytes = settings_.segmentBytes;
        if (settings_.codec == avi::Codec::kMjpeg && !encoder_.Ready())
            return Failed(failure, "the JPEG encoder could not be set up");
        const avi::WriterSink sink{&sink_, FileSink::Write, FileSink::WriteAt,
                                   settings_.flush ? FileSink::Flush : nullptr};
        return writer_.Open(sink, writer) ||
               Failed(failure, writer_.Error());
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
            return writer_.AddFrame(pixels, bytes) || Failed(failure, writer_.Error());
        }
        if (!encoder_.Encode(pixels, format_.width, format_.height, format_.width * bits / 8, bits,
                             settings_.quality, jpeg_))
            return Failed(failure, "the JPEG encoder failed");
        return writer_.AddFrame(jpeg_.data(), jpeg_.size()) || Failed(failure, writer_.Error());
    }
    bool Repeat(WriteFailure &failure) override { return writer_.AddRepeat() || Failed(failure, writer_.Error()); }
    bool Refresh(WriteFailure &failure) override { return writer_.Refresh() || Failed(failure, writer_.Error()); }
    bool Close(WriteFailure &failure) override { return writer_.Close() || Failed(failure, writer_.Error()); }

private:
    bool Grey() const { return format_.colorMode == colormode::kGrey8; }
    bool Failed(WriteFailure &failure, const char *why) {
        failure = WriteFailure{path_, sink_.error, false, sink_.error ? "" : why};
        return false;
    }

    const std::string path_;
    const FrameFormat format_;
    const AviFileSettings settings_;
    guards::UniqueKernelHandle file_;
    FileSink sink_;
    avi::Writer writer_;
    cli::JpegEncoder encoder_;
    std::vector<BYTE> bgr_;
    std::vector<uint8_t> jpeg_;
};

}  // namespace

std::unique_ptr<PictureStore> MakeAviFileStore(const std::string &path, FrameFormat format,
                                               const AviFileSettings &settings, WriteFailure &failure) {
    // Shared for reading: a player may open the file while it grows.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failure = WriteFailure{path, GetLastError(), false, ""};
        return nullptr;
    }
    std::unique_ptr<AviFileStore> store(new AviFileStore(path, format, settings, file));
    if (!store->Open(failure)) return nullptr;
    return std::unique_ptr<PictureStore>(std::move(store));
}

}  // namespace recording

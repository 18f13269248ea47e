#include "card_log.h"

#include <sstream>

#include "host_threads.h"

namespace vt {

std::vector<VcLogEntry> CardLog() {
    std::vector<VcLogEntry> entries;
    const int32_t count = VcLogCount();
    for (int32_t i = 0; i < count; ++i) {
        VcLogEntry entry{};
        if (VcLogGet(i, &entry)) entries.push_back(entry);
    }
    return entries;
}

std::vector<VcLogEntry> CardCalls(VcCall call) {
    std::vector<VcLogEntry> matching;
    for (const VcLogEntry &entry : CardLog())
        if (entry.call == call) matching.push_back(entry);
    return matching;
}

static std::string Describe(const VcLogEntry &entry) {
    static const char *const names[] = {"?",
                                        "BeginCG400",
                                        "EndCG400",
                                        "CG400SetInpVideoWindow",
                                        "CG400SetDispWindow",
                                        "CG400SetColorSpace",
                                        "CG400SetADParam",
                                        "StaticMemAlloc",
                                        "CG400SnapOneToMem",
                                        "CG400GetSnappingStatus",
                                        "CG400ReadFromMem"};
    std::ostringstream out;
    out << (entry.call > 0 && entry.call < VC_CALL_COUNT ? names[entry.call] : "?") << "(";
    for (int i = 0; i < entry.argCount && i < 6; ++i) out << (i ? ", " : "") << entry.args[i];
    out << ") = " << entry.result;
    return out.str();
}

std::string DescribeLog() {
    std::string text;
    for (const VcLogEntry &entry : CardLog()) text += Describe(entry) + "\n";
    return text;
}

int CountCalls(VcCall call) { return static_cast<int>(CardCalls(call).size()); }

std::vector<uint8_t> LastFrame() {
    std::vector<uint8_t> bytes(size_t{768} * 576 * 3);  // the card's largest frame
    bytes.resize(static_cast<size_t>(VcCopyLastFrame(bytes.data(), static_cast<int32_t>(bytes.size()))));
    return bytes;
}

HANDLE OpenPreviewThread() {
    if (!WaitUntil([] { return !CardCalls(VC_SET_INPUT).empty(); })) return nullptr;
    const DWORD id = CardCalls(VC_SET_INPUT).at(0).threadId;
    return OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
}

VcStats CardStats() {
    VcStats stats{};
    VcGetStats(&stats);
    return stats;
}

}  // namespace vt

// A recorder in place of the platform's event tracing, and a scope that sets
// the module's control block as a listening session would.
#pragma once

#include "support/logging/Trace.h"
#include "support/logging/TraceSystem.h"

#include <cstring>
#include <string>
#include <vector>

namespace qvdtest {

struct RecordedEvent {
    uint64_t loggerHandle = 0;
    uint32_t messageFlags = 0;
    pxLib::TraceGuid messageGuid{};
    uint16_t messageNumber = 0;
    std::vector<std::string> args;  // the bytes of each (pointer, length) pair
    bool endsWithNullPair = false;
};

inline bool SameGuid(const pxLib::TraceGuid& a, const pxLib::TraceGuid& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

class TraceRecorder final : public pxLib::ITraceSystem {
public:
    TraceRecorder() { pxLib::SetTraceSystem(this); }
    ~TraceRecorder() override { pxLib::SetTraceSystem(nullptr); }

    void Message(uint64_t loggerHandle, uint32_t messageFlags, const pxLib::TraceGuid& messageGuid,
                 uint16_t messageNumber, const pxLib::TraceArg* pairs, size_t count) override {
        RecordedEvent event;
        event.loggerHandle = loggerHandle;
        event.messageFlags = messageFlags;
        event.messageGuid = messageGuid;
        event.messageNumber = messageNumber;
        for (size_t i = 0; i < count; ++i)
            event.args.emplace_back(static_cast<const char*>(pairs[i].data), pairs[i].size);
        event.endsWithNullPair = pairs[count].data == nullptr && pairs[count].size == 0;
        events.push_back(std::move(event));
    }
    uint64_t LoggerHandle(void* requestBuffer) override {
        requestBuffers.push_back(requestBuffer);
        return enableHandle;
    }
    uint8_t EnableLevel(uint64_t loggerHandle) override {
        levelQueries.push_back(loggerHandle);
        return enableLevel;
    }
    uint32_t EnableFlags(uint64_t loggerHandle) override {
        flagQueries.push_back(loggerHandle);
        return enableFlags;
    }
    uint32_t QuerySession(const char16_t* sessionName, uint64_t& loggerHandle) override {
        sessionQueries.emplace_back(sessionName);
        loggerHandle = sessionHandle;
        return sessionResult;
    }

    std::vector<RecordedEvent> events;
    // What an enable request answers.
    uint64_t enableHandle = 0;
    uint8_t enableLevel = 0;
    uint32_t enableFlags = 0;
    std::vector<void*> requestBuffers;
    std::vector<uint64_t> levelQueries, flagQueries;
    // What a session query answers.
    uint32_t sessionResult = 0;
    uint64_t sessionHandle = 0;
    std::vector<std::u16string> sessionQueries;
};

// The module's control block as a session set it; cleared again at the end.
class ScopedTraceSession {
public:
    ScopedTraceSession(uint8_t level, uint32_t flags, uint64_t loggerHandle = 0x5E55,
                       bool listed = true) {
        Set(listed, level, flags, loggerHandle);
    }
    ~ScopedTraceSession() { Set(false, 0, 0, 0); }

private:
    static void Set(bool listed, uint8_t level, uint32_t flags, uint64_t loggerHandle) {
        pxLib::TraceControlBlock& block = pxLib::ModuleTraceControl();
        block.loggerHandle = loggerHandle;
        block.level = level;
        block.flags = flags;
        block.listed = listed;
    }
};

// The bytes of a UTF-16 text with its terminating zero, as an event carries it.
inline std::string Utf16Bytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

}  // namespace qvdtest

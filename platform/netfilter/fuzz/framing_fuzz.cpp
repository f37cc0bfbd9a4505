// Feeds arbitrary bytes, cut into arbitrary reads, to the request framer (as
// a connection does: line ends before a request dropped, TLS tunnelled) and
// to the response tracker, and checks what they report against the input.

#include "platform/netfilter/request_framer.h"
#include "platform/netfilter/response_tracker.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using platform::netfilter::kChunkLineLimit;
using platform::netfilter::RequestFramer;
using platform::netfilter::ResponseTracker;

// What the framer took as a request line is one: it starts with the method
// and holds no control byte before its CR LF.
bool isFramedLine(const std::string& line) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0 || line[0] == ' ') {
        return false;
    }
    for (size_t i = 0; i + 2 < line.size(); ++i) {
        if (static_cast<unsigned char>(line[i]) < ' ' || line[i] == 0x7F) {
            return false;
        }
    }
    return true;
}

void frameRequests(const std::string& input, size_t step) {
    if (RequestFramer::opensTls(input)) {
        return; // tunnelled, never framed
    }
    RequestFramer framer(4096);
    std::string received;
    size_t consumed = 0;
    for (size_t at = 0; at < input.size(); at += step) {
        received += input.substr(at, step);
        if (consumed == 0 && !framer.headerDone()) {
            received.erase(0, RequestFramer::lineEndsBefore(received));
        }
        const auto verdict =
            framer.parse(received.data() + consumed, received.size() - consumed, consumed);
        if (consumed > received.size() ||
            (framer.headerDone() &&
             (framer.lineSize() > framer.headSize() || framer.headSize() > consumed ||
              !isFramedLine(received.substr(0, framer.lineSize())))) ||
            (verdict == RequestFramer::Verdict::NeedMore && framer.headerDone() &&
             received.size() - consumed > kChunkLineLimit)) {
            std::abort();
        }
        if (verdict == RequestFramer::Verdict::BadRequest ||
            verdict == RequestFramer::Verdict::HeaderTooLarge) {
            return;
        }
        if (verdict == RequestFramer::Verdict::Complete) {
            received.erase(0, consumed);
            consumed = 0;
            framer.reset();
        }
    }
}

void trackResponses(const std::string& input, size_t step) {
    ResponseTracker tracker;
    for (int i = 0; i < 4; ++i) {
        tracker.expect({i == 1, i == 2, i == 3});
    }
    size_t relayed = 0;
    for (size_t at = 0; at < input.size(); at += step) {
        const std::string part = input.substr(at, step);
        const auto outcome = tracker.feed(part.data(), part.size());
        for (const auto& buffer : tracker.buffers()) {
            relayed += buffer.size();
        }
        if (relayed > at + part.size()) {
            std::abort(); // more out than in
        }
        if (outcome == ResponseTracker::Outcome::Failed) {
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t step = 1 + data[1] % 64;
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    if (data[0] % 2 == 0) {
        frameRequests(input, step);
    } else {
        trackResponses(input, step);
    }
    return 0;
}

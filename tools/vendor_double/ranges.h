// Byte ranges: which part of a body an answer carries, with what status and Content-Range,
// including the range faults a scenario can ask for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vendor_double {

// One inclusive range of a body of known size.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// What a Range header asks for of a body of this size.
struct RangeAsk {
    enum class Kind { None, Ignored, Satisfiable, Unsatisfiable };
    Kind kind = Kind::None;
    ByteRange range;  // for Satisfiable
};

// Parses "bytes=a-b", "bytes=a-" and "bytes=-n". Headers in another unit, with several ranges,
// or malformed are Ignored (answered with the whole body, as a server may do).
RangeAsk parseRange(std::string_view header, std::uint64_t size);

struct RangeFaults {
    bool ignoreRange = false;                 // 200 with the whole body even when asked for a range
    std::int64_t rangeShift = 0;              // a 206 that starts this many bytes off the ask
    std::optional<std::string> contentRange;  // a 206 with this Content-Range text, as it stands
};

struct BodyPlan {
    int status = 200;          // 200, 206 or 416
    std::uint64_t offset = 0;  // first body byte sent
    std::uint64_t length = 0;  // number of body bytes sent
    std::string contentRange;  // empty: no Content-Range header
};

BodyPlan planBody(std::string_view rangeHeader, std::uint64_t size, const RangeFaults& faults);

}  // namespace vendor_double

#include "ranges.h"

#include <algorithm>
#include <charconv>

namespace vendor_double {
namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<std::uint64_t> number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string contentRangeText(std::uint64_t first, std::uint64_t last, std::uint64_t size) {
    return "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
           std::to_string(size);
}

}  // namespace

RangeAsk parseRange(std::string_view header, std::uint64_t size) {
    RangeAsk ask;
    header = trim(header);
    if (header.empty()) return ask;
    ask.kind = RangeAsk::Kind::Ignored;
    constexpr std::string_view kUnit = "bytes=";
    if (header.size() < kUnit.size() || header.substr(0, kUnit.size()) != kUnit) return ask;
    const std::string_view ranges = trim(header.substr(kUnit.size()));
    const auto dash = ranges.find('-');
    if (dash == std::string_view::npos || ranges.find(',') != std::string_view::npos) return ask;
    const std::string_view from = trim(ranges.substr(0, dash));
    const std::string_view to = trim(ranges.substr(dash + 1));
    if (from.empty()) {  // suffix: the last n bytes
        const auto count = number(to);
        if (!count) return ask;
        if (*count == 0 || size == 0) {
            ask.kind = RangeAsk::Kind::Unsatisfiable;
            return ask;
        }
        ask.kind = RangeAsk::Kind::Satisfiable;
        ask.range = {size - std::min(*count, size), size - 1};
        return ask;
    }
    const auto first = number(from);
    const auto last = to.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : number(to);
    if (!first || !last || *last < *first) return ask;
    if (*first >= size) {
        ask.kind = RangeAsk::Kind::Unsatisfiable;
        return ask;
    }
    ask.kind = RangeAsk::Kind::Satisfiable;
    ask.range = {*first, std::min(*last, size - 1)};
    return ask;
}

BodyPlan planBody(std::string_view rangeHeader, std::uint64_t size, const RangeFaults& faults) {
    BodyPlan plan;
    plan.length = size;
    const RangeAsk ask = parseRange(rangeHeader, size);
    if (faults.ignoreRange || ask.kind == RangeAsk::Kind::None ||
        ask.kind == RangeAsk::Kind::Ignored)
        return plan;
    if (ask.kind == RangeAsk::Kind::Unsatisfiable) {
        plan.status = 416;
        plan.length = 0;
        plan.contentRange = "bytes */" + std::to_string(size);
        return plan;
    }
    std::int64_t first = static_cast<std::int64_t>(ask.range.first) + faults.rangeShift;
    first = std::clamp<std::int64_t>(first, 0, static_cast<std::int64_t>(ask.range.last));
    plan.status = 206;
    plan.offset = static_cast<std::uint64_t>(first);
    plan.length = ask.range.last - plan.offset + 1;
    plan.contentRange = faults.contentRange ? *faults.contentRange
                                            : contentRangeText(plan.offset, ask.range.last, size);
    return plan;
}

}  // namespace vendor_double

// The layout attributes a control class knows, as a table per class: each entry names the
// attribute, the kind of value it takes and how it is applied. A class's table points to its
// base class's, so a lookup finds the most derived entry first; the list of known attributes
// and the report of malformed values come from the tables. Tables are static data; applying an
// entry is UI-thread work like everything a control does.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/attribute_values.h"

namespace tk {

class Control;

// What a value is read as. Text and image values are taken as written (images are checked
// against the skin when a layout is built); font ids against the window's fonts.
enum class ValueKind {
    kText,
    kBool,
    kInt,
    kColor,
    kRect,
    kInsets,
    kSize,
    kHorizontalAlign,
    kVerticalAlign,
    kImage,
    kFont,
    kWord,
};

// The forms a value of the kind takes, for the message of a malformed one.
std::wstring_view expectedForm(ValueKind kind);

struct AttributeEntry {
    std::wstring_view name;
    ValueKind kind;
    // Applies the value; false when it is malformed, and the control then keeps what it had.
    bool (*apply)(Control& control, const std::wstring& value);
};

struct AttributeTable {
    const AttributeTable* base;  // the base class's table, or null
    std::span<const AttributeEntry> entries;

    // The entry of the name here or in a base table, or null.
    const AttributeEntry* find(std::wstring_view name) const;
    // Every name known, the most derived table first, each once.
    std::vector<std::wstring_view> names() const;
};

enum class AttributeResult { kApplied, kUnknown, kMalformed };

// Reads a value of a kind that has a parser (not text, image or word).
template <ValueKind Kind>
auto parseValue(std::wstring_view text) {
    if constexpr (Kind == ValueKind::kBool) return parseBool(text);
    if constexpr (Kind == ValueKind::kInt || Kind == ValueKind::kFont) return parseInt(text);
    if constexpr (Kind == ValueKind::kColor) return parseColor(text);
    if constexpr (Kind == ValueKind::kRect) return parseRect(text);
    if constexpr (Kind == ValueKind::kInsets) return parseInsets(text);
    if constexpr (Kind == ValueKind::kSize) return parseSize(text);
}

template <class M>
struct MemberOf;
template <class Owner, class T>
struct MemberOf<T Owner::*> {
    using owner = Owner;
};

// An entry that stores the value, read as its kind, in a data member of the class. Text and
// image values are stored as written.
template <auto Member, ValueKind Kind>
constexpr AttributeEntry field(std::wstring_view name) {
    using Owner = typename MemberOf<decltype(Member)>::owner;
    return {name, Kind, [](Control& control, const std::wstring& value) {
                auto& target = static_cast<Owner&>(control).*Member;
                if constexpr (Kind == ValueKind::kText || Kind == ValueKind::kImage) {
                    target = value;
                    return true;
                } else {
                    const auto parsed = parseValue<Kind>(value);
                    if (!parsed) return false;
                    target = *parsed;
                    return true;
                }
            }};
}

// An entry that reads the value as its kind and ignores it (attributes other toolkits know,
// whose behaviour this one always has).
template <ValueKind Kind>
constexpr AttributeEntry accepted(std::wstring_view name) {
    return {name, Kind, [](Control&, const std::wstring& value) {
                return parseValue<Kind>(value).has_value();
            }};
}

}  // namespace tk

#include "toolkit/attribute_table.h"

#include <algorithm>

namespace tk {

std::wstring_view expectedForm(ValueKind kind) {
    switch (kind) {
        case ValueKind::kBool:
            return L"true or false";
        case ValueKind::kInt:
        case ValueKind::kFont:
            return L"a whole number";
        case ValueKind::kColor:
            return L"a colour (#RRGGBB, #AARRGGBB or 0xAARRGGBB)";
        case ValueKind::kRect:
        case ValueKind::kInsets:
            return L"four whole numbers (l,t,r,b)";
        case ValueKind::kSize:
            return L"two whole numbers (w,h)";
        case ValueKind::kHorizontalAlign:
            return L"left, center or right";
        case ValueKind::kVerticalAlign:
            return L"top, vcenter (or center) or bottom";
        case ValueKind::kImage:
            return L"an image (a file name, or file='...' with source, corner, mask, dest)";
        case ValueKind::kWord:
            return L"one of the words the attribute knows";
        case ValueKind::kText:
            break;
    }
    return L"a text";
}

const AttributeEntry* AttributeTable::find(std::wstring_view name) const {
    for (const AttributeTable* table = this; table; table = table->base)
        for (const AttributeEntry& entry : table->entries)
            if (entry.name == name) return &entry;
    return nullptr;
}

std::vector<std::wstring_view> AttributeTable::names() const {
    std::vector<std::wstring_view> out;
    for (const AttributeTable* table = this; table; table = table->base)
        for (const AttributeEntry& entry : table->entries)
            if (std::find(out.begin(), out.end(), entry.name) == out.end())
                out.push_back(entry.name);
    return out;
}

}  // namespace tk

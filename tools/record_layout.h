// The record of every class that can be saved, in the order its Save writes
// it (docs/file-format.md, section 3).  The JSON form and the record walker
// both follow this one table.
#pragma once

#include <span>
#include <string_view>

namespace qctool {

enum class FieldKind { Record, LockByte, AccessInt };

struct Field {
    const char *name;
    FieldKind kind;
};

struct Layout {
    std::string_view class_name;
    std::span<const Field> fields;
};

inline constexpr Field kArrayFields[] = {{"elements", FieldKind::Record}};
inline constexpr Field kArrayTypedFields[] = {{"types", FieldKind::Record},
                                              {"elements", FieldKind::Record},
                                              {"lock", FieldKind::LockByte},
                                              {"access", FieldKind::AccessInt}};
inline constexpr Field kDictFields[] = {{"keys", FieldKind::Record}, {"values", FieldKind::Record}};
inline constexpr Field kDictTypedFields[] = {{"types", FieldKind::Record},
                                             {"keys", FieldKind::Record},
                                             {"values", FieldKind::Record},
                                             {"lock", FieldKind::LockByte},
                                             {"access", FieldKind::AccessInt}};
inline constexpr Field kGenSetFields[] = {{"members", FieldKind::Record}};

inline constexpr Layout kLayouts[] = {{"Array", kArrayFields},
                                      {"ArrayTyped", kArrayTypedFields},
                                      {"Dict", kDictFields},
                                      {"DictTyped", kDictTypedFields},
                                      {"GenSet", kGenSetFields}};

inline const Layout *find_layout(std::string_view name)
{
    for (const Layout &layout : kLayouts)
        if (layout.class_name == name) return &layout;
    return nullptr;
}

}  // namespace qctool

// A record's fields, declared once beside the record: the name, the member and a line saying what
// it holds. The JSON export, the Python attributes, the reprs and the pickled states are all made
// from this one list, so a field added to a record cannot be missed by any of them.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace orvanalysis {

template <class Record, class Member>
struct Field {
    using record_type = Record;
    using member_type = Member;
    const char* name;
    Member Record::*member;
    const char* doc;
};

template <class Record, class Member>
constexpr Field<Record, Member> field(const char* name, Member Record::*member, const char* doc) {
    return {name, member, doc};
}

// A record R declares its fields with a function `constexpr auto fields_of(const R*)` returning a
// tuple of Fields, in the record's own order, found by argument-dependent lookup.
template <class Record>
constexpr auto fields() {
    return fields_of(static_cast<const Record*>(nullptr));
}

template <class Record, class = void>
struct has_fields : std::false_type {};

template <class Record>
struct has_fields<Record, std::void_t<decltype(fields_of(static_cast<const Record*>(nullptr)))>> : std::true_type {};

template <class Record>
inline constexpr std::size_t field_count = std::tuple_size_v<decltype(fields<Record>())>;

// Calls f(field) for each field of Record, in order.
template <class Record, class F>
constexpr void for_each_field(F&& f) {
    std::apply([&f](const auto&... each) { (f(each), ...); }, fields<Record>());
}

}  // namespace orvanalysis

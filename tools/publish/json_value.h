// A small reader of JSON documents (the machine profiles): objects keep their keys in order.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    // Declared here and defined where the type is complete: clang with libstdc++ cannot make the
    // implicit ones of a type that holds pairs of itself.
    JsonValue();
    ~JsonValue();
    JsonValue(const JsonValue&);
    JsonValue(JsonValue&&) noexcept;
    JsonValue& operator=(const JsonValue&);
    JsonValue& operator=(JsonValue&&) noexcept;

    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    double number = 0;
    std::string text;  // UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The member `key`, or null when this is no object or has no such member.
    const JsonValue* Find(const std::string& key) const;
};

// The document, or nothing with `error` saying where it went wrong. The grammar is JSON's, strict
// (no leading zeros, no lone surrogates, no trailing commas); the bytes of a string other than
// its escapes are taken as they are, UTF-8 or not.
std::optional<JsonValue> ParseJson(const std::string& text, std::string& error);

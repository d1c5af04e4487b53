// Window descriptions stored with the program: a tree of objects with typed properties,
// read from the text form
//   object Form1: TForm1
//     Left = 308
//     Caption = 'text'
//     object Button1: TButton ... end
//   end
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

struct PropertyValue {
    enum class Kind { Integer, String, Identifier, Set };
    Kind kind = Kind::Integer;
    long long number = 0;
    std::string text;                // String and Identifier
    std::vector<std::string> items;  // Set
};

struct ObjectDescription {
    std::string name;
    std::string className;
    std::map<std::string, PropertyValue> properties;
    std::vector<ObjectDescription> children;

    // Typed access; a missing property yields the fallback, a wrong kind raises Exception.
    long long Integer(const std::string& property, long long fallback) const;
    std::string String(const std::string& property, const std::string& fallback) const;
    std::string Identifier(const std::string& property, const std::string& fallback) const;
};

// Parses one description; raises Exception with the line number on malformed text.
ObjectDescription ParseObjectDescription(const std::string& text);

// Reads the description stored as an RCDATA resource named after the class.
ObjectDescription LoadObjectDescription(const std::string& className);

}  // namespace platform

#include "FormDescription.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "SysUtils.h"

namespace platform {

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    ObjectDescription Object() {
        ExpectWord("object");
        ObjectDescription object;
        object.name = Name();
        Expect(':');
        object.className = Name();
        for (;;) {
            SkipSpace();
            if (AtWord("end")) {
                Name();
                return object;
            }
            if (AtWord("object")) {
                object.children.push_back(Object());
                continue;
            }
            std::string property = Name();
            Expect('=');
            object.properties[property] = Value();
        }
    }

    void ExpectEnd() {
        SkipSpace();
        if (pos_ != text_.size()) Fail("text after the last 'end'");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        int line = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == '\n';
        throw Exception("Window description, line " + IntToStr(line) + ": " + what);
    }

    void SkipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }

    bool AtWord(const char* word) {
        SkipSpace();
        size_t n = std::char_traits<char>::length(word);
        if (text_.compare(pos_, n, word) != 0) return false;
        return pos_ + n == text_.size() || !IsNameChar(text_[pos_ + n]);
    }

    static bool IsNameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
    }

    std::string Name() {
        SkipSpace();
        size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
        if (start == pos_) Fail("a name was expected");
        return text_.substr(start, pos_ - start);
    }

    void ExpectWord(const char* word) {
        if (!AtWord(word)) Fail(std::string("'") + word + "' was expected");
        Name();
    }

    void Expect(char c) {
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] != c) Fail(std::string("'") + c + "' was expected");
        ++pos_;
    }

    bool Peek(char c) {
        SkipSpace();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    long long Number() {
        SkipSpace();
        size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        if (pos_ == start || text_[pos_ - 1] == '-') Fail("a number was expected");
        return std::strtoll(text_.c_str() + start, nullptr, 10);
    }

    // 'quoted' pieces ('' is a quote) and #code characters, joined; '+' continues on.
    std::string Text() {
        std::string out;
        for (;;) {
            if (Peek('\'')) {
                ++pos_;
                for (;;) {
                    if (pos_ >= text_.size() || text_[pos_] == '\n') Fail("unterminated text");
                    char c = text_[pos_++];
                    if (c == '\'') {
                        if (pos_ < text_.size() && text_[pos_] == '\'') {
                            out += '\'';
                            ++pos_;
                            continue;
                        }
                        break;
                    }
                    out += c;
                }
            } else if (Peek('#')) {
                ++pos_;
                long long code = Number();
                if (code < 0 || code > 255) Fail("character code out of range");
                out += static_cast<char>(code);
            } else if (Peek('+')) {
                ++pos_;
            } else {
                return out;
            }
        }
    }

    PropertyValue Value() {
        PropertyValue value;
        if (Peek('\'') || Peek('#')) {
            value.kind = PropertyValue::Kind::String;
            value.text = Text();
        } else if (Peek('[')) {
            ++pos_;
            value.kind = PropertyValue::Kind::Set;
            while (!Peek(']')) {
                value.items.push_back(Name());
                if (Peek(',')) ++pos_;
            }
            ++pos_;
        } else if (Peek('-') ||
                   (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])))) {
            value.number = Number();
        } else {
            value.kind = PropertyValue::Kind::Identifier;
            value.text = Name();
        }
        return value;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

const PropertyValue* Find(const ObjectDescription& object, const std::string& property,
                          PropertyValue::Kind kind) {
    auto it = object.properties.find(property);
    if (it == object.properties.end()) return nullptr;
    if (it->second.kind != kind) {
        throw Exception("Window description: " + object.name + "." + property +
                        " has the wrong kind");
    }
    return &it->second;
}

}  // namespace

long long ObjectDescription::Integer(const std::string& property, long long fallback) const {
    const PropertyValue* v = Find(*this, property, PropertyValue::Kind::Integer);
    return v ? v->number : fallback;
}

std::string ObjectDescription::String(const std::string& property,
                                      const std::string& fallback) const {
    const PropertyValue* v = Find(*this, property, PropertyValue::Kind::String);
    return v ? v->text : fallback;
}

std::string ObjectDescription::Identifier(const std::string& property,
                                          const std::string& fallback) const {
    const PropertyValue* v = Find(*this, property, PropertyValue::Kind::Identifier);
    return v ? v->text : fallback;
}

ObjectDescription ParseObjectDescription(const std::string& text) {
    Parser parser(text);
    ObjectDescription object = parser.Object();
    parser.ExpectEnd();
    return object;
}

ObjectDescription LoadObjectDescription(const std::string& className) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, className.c_str(), RT_RCDATA);
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) throw Exception("Resource " + className + " not found");
    return ParseObjectDescription(
        std::string(static_cast<const char*>(bytes), SizeofResource(module, info)));
}

}  // namespace platform

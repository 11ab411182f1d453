// A small JSON value for the tool's --json output: objects keep their members in insertion
// order so that the output reads like the text form.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavlo::cli {

class Json {
public:
    Json() = default; // null
    Json(bool value) : kind_(Kind::Bool), bool_(value) {}
    Json(std::string value) : kind_(Kind::String), string_(std::move(value)) {}
    Json(const char* value) : Json(std::string(value)) {}
    static Json object() { return Json(Kind::Object); }
    static Json array() { return Json(Kind::Array); }

    void set(const std::string& name, Json value) { members_.emplace_back(name, std::move(value)); }
    void push(Json value) { members_.emplace_back(std::string(), std::move(value)); }

    std::string dump() const {
        std::string out;
        write(out);
        return out;
    }

private:
    enum class Kind { Null, Bool, String, Object, Array };
    explicit Json(Kind kind) : kind_(kind) {}

    static void quote(const std::string& text, std::string& out) {
        out += '"';
        for (unsigned char c : text) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    const char* hex = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
            }
        }
        out += '"';
    }

    void write(std::string& out) const {
        switch (kind_) {
        case Kind::Null:
            out += "null";
            return;
        case Kind::Bool:
            out += bool_ ? "true" : "false";
            return;
        case Kind::String:
            quote(string_, out);
            return;
        case Kind::Object:
        case Kind::Array:
            out += kind_ == Kind::Object ? '{' : '[';
            for (std::size_t i = 0; i < members_.size(); ++i) {
                if (i)
                    out += ',';
                if (kind_ == Kind::Object) {
                    quote(members_[i].first, out);
                    out += ':';
                }
                members_[i].second.write(out);
            }
            out += kind_ == Kind::Object ? '}' : ']';
            return;
        }
    }

    Kind kind_ = Kind::Null;
    bool bool_ = false;
    std::string string_;
    std::vector<std::pair<std::string, Json>> members_;
};

} // namespace tavlo::cli

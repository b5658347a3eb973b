#include "modelImport/GltfCameras.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace modelimport {

namespace {

// [SECTION] A small JSON reader
//
// Enough of JSON to walk a glTF document: objects, arrays, numbers, strings (escapes
// decoded, \u sequences kept as '?'), true, false, null. Nesting deeper than kMaxDepth or
// any syntax error ends the read.

constexpr int kMaxDepth = 64;

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;  // the first of two equal keys is kept

  const Json* member(const std::string& key) const {
    if (kind != Kind::Object) return nullptr;
    const auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
  }
  double numberOr(const std::string& key, double fallback) const {
    const Json* m = member(key);
    return m && m->kind == Kind::Number ? m->number : fallback;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text(text) {}

  bool document(Json& out) {
    if (!value(out, 0)) return false;
    skipSpace();
    return at == text.size();
  }

 private:
  void skipSpace() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
  }
  bool literal(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }
  bool value(Json& out, int depth) {
    if (depth > kMaxDepth) return false;
    skipSpace();
    if (at >= text.size()) return false;
    switch (text[at]) {
      case '{': return object(out, depth);
      case '[': return array(out, depth);
      case '"': out.kind = Json::Kind::String; return string(out.text);
      case 't': out.kind = Json::Kind::Bool; out.number = 1; return literal("true");
      case 'f': out.kind = Json::Kind::Bool; return literal("false");
      case 'n': return literal("null");
      default: out.kind = Json::Kind::Number; return number(out.number);
    }
  }
  bool object(Json& out, int depth) {
    out.kind = Json::Kind::Object;
    ++at;
    skipSpace();
    if (at < text.size() && text[at] == '}') return ++at, true;
    for (;;) {
      skipSpace();
      std::string key;
      if (at >= text.size() || text[at] != '"' || !string(key)) return false;
      skipSpace();
      if (at >= text.size() || text[at] != ':') return false;
      ++at;
      Json item;
      if (!value(item, depth + 1)) return false;
      out.members.emplace(std::move(key), std::move(item));
      skipSpace();
      if (at >= text.size()) return false;
      if (text[at] == '}') return ++at, true;
      if (text[at++] != ',') return false;
    }
  }
  bool array(Json& out, int depth) {
    out.kind = Json::Kind::Array;
    ++at;
    skipSpace();
    if (at < text.size() && text[at] == ']') return ++at, true;
    for (;;) {
      Json item;
      if (!value(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
      skipSpace();
      if (at >= text.size()) return false;
      if (text[at] == ']') return ++at, true;
      if (text[at++] != ',') return false;
    }
  }
  bool string(std::string& out) {
    ++at;  // the opening quote
    while (at < text.size()) {
      const char c = text[at++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at >= text.size()) return false;
      const char e = text[at++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u':
          if (text.size() - at < 4) return false;
          at += 4;
          out += '?';
          break;
        default: out += e; break;  // \" \\ \/
      }
    }
    return false;
  }
  bool number(double& out) {
    const size_t start = at;
    while (at < text.size() && std::strchr("+-0123456789.eE", text[at]) != nullptr && text[at] != '\0') ++at;
    if (at == start || at - start > 64) return false;
    const std::string token(text.substr(start, at - start));
    char* end = nullptr;
    out = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && std::isfinite(out);
  }

  std::string_view text;
  size_t at = 0;
};

// [SECTION] The document's text

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// The JSON of a .glb (its first chunk, which the container requires to be the JSON one), or
// the bytes themselves for a .gltf text.
std::optional<std::string_view> jsonText(const uint8_t* data, size_t size) {
  if (size >= 4 && std::memcmp(data, "glTF", 4) == 0) {
    if (size < 20) return std::nullopt;
    const uint32_t length = le32(data + 12);
    if (std::memcmp(data + 16, "JSON", 4) != 0 || length > size - 20) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data + 20), length);
  }
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark
  return text;
}

}  // namespace

std::optional<std::vector<GltfCamera>> readGltfCameras(const uint8_t* data, size_t size) {
  if (data == nullptr) return std::nullopt;
  const std::optional<std::string_view> text = jsonText(data, size);
  if (!text) return std::nullopt;
  Json document;
  if (!JsonReader(*text).document(document) || document.kind != Json::Kind::Object) return std::nullopt;
  std::vector<GltfCamera> cameras;
  const Json* list = document.member("cameras");
  if (!list || list->kind != Json::Kind::Array) return cameras;
  for (const Json& entry : list->items) {
    GltfCamera camera;
    const Json* type = entry.member("type");
    camera.orthographic = type && type->kind == Json::Kind::String && type->text == "orthographic";
    if (const Json* p = entry.member(camera.orthographic ? "orthographic" : "perspective")) {
      camera.yfov = p->numberOr("yfov", 0.0);
      camera.aspectRatio = p->numberOr("aspectRatio", 0.0);
      camera.xmag = p->numberOr("xmag", 0.0);
      camera.ymag = p->numberOr("ymag", 0.0);
      camera.znear = p->numberOr("znear", 0.0);
      camera.zfar = p->numberOr("zfar", 0.0);
    }
    cameras.push_back(camera);
  }
  return cameras;
}

}  // namespace modelimport

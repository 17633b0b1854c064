#include "view/texture_lookup.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

model_place find_model_place(const std::string& path) {
  fs::path model(path);
  std::error_code error;
  if (fs::is_symlink(model, error)) {
    fs::path target = fs::read_symlink(model, error);
    if (!error) model = target.is_relative() ? model.parent_path() / target : target;
  }
  std::string folder = model.parent_path().string();
  return {folder.empty() ? "." : folder, model.filename().string()};
}

std::string texture_file_name(const std::string& texture_map) {
  size_t cut = texture_map.find_last_of("/\\:");
  std::string name = cut == std::string::npos ? texture_map : texture_map.substr(cut + 1);
  return name == "." || name == ".." ? std::string() : name;
}

static bool same_ignoring_case(const std::string& left, const std::string& right) {
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); i++) {
    unsigned char l = static_cast<unsigned char>(left[i]), r = static_cast<unsigned char>(right[i]);
    if (l >= 'A' && l <= 'Z') l = static_cast<unsigned char>(l - 'A' + 'a');
    if (r >= 'A' && r <= 'Z') r = static_cast<unsigned char>(r - 'A' + 'a');
    if (l != r) return false;
  }
  return true;
}

// Of several spellings, the exact one, else the first in byte order, so the choice
// does not hang on the order the folder lists them in.
std::string find_file_beside(const std::string& folder, const std::string& name) {
  if (name.empty()) return std::string();
  std::string found;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string candidate = entry->path().filename().string();
    std::error_code kind_error;
    if (!same_ignoring_case(candidate, name) || !entry->is_regular_file(kind_error)) continue;
    if (candidate == name) return entry->path().string();
    if (found.empty() || candidate < fs::path(found).filename().string())
      found = entry->path().string();
  }
  return found;
}

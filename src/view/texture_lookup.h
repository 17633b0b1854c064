// Where a model's textures are looked for: beside the model, and nowhere else.
//
// A material names its texture as the modelling program wrote it, often a DOS or
// Windows path in upper case ("C:\MAPS\WOOD.BMP"); only its last component counts,
// and it is matched against the model's folder ignoring case. The model's folder is
// that of the file its path leads to through one link, so the cube.3ds that the
// launcher links to a user's file finds that file's textures.
#ifndef VIEW_TEXTURE_LOOKUP_H
#define VIEW_TEXTURE_LOOKUP_H

#include <string>

struct model_place {
  std::string folder;  // where its textures are looked for
  std::string name;    // its file name, for what is said about it
};

model_place find_model_place(const std::string& path);
std::string texture_file_name(const std::string& texture_map);  // "" when none is left
// The path of the folder's file named `name` ignoring ASCII case (its exact spelling
// first); "" when there is none.
std::string find_file_beside(const std::string& folder, const std::string& name);

#endif  // VIEW_TEXTURE_LOOKUP_H

#pragma once
// Pure path operations on "/"-separated paths, resolved against a base
// directory (normally the project directory).
#include <string>
#include <vector>

namespace kvl {

// True when the path starts with "/" or has ":" among its first eight
// characters (a drive or a prefix such as "save:/").
bool IsRootedPath(const std::string& path);

// Folds "/./" steps, then "/<component>/../" steps, in place. Never climbs
// above the start of the path or above a root.
void NormalizePath(std::string& path);

// A rooted path unchanged; anything else appended to base and normalised.
std::string MakeAbsolutePath(const std::string& base, const std::string& path);

// The path relative to base (letters compared without regard to case),
// climbing with "../" where the two part.
std::string MakeRelativePath(const std::string& base, const std::string& path);

// Pieces between "|" separators; an empty remainder is dropped.
void SplitList(const std::string& text, std::vector<std::string>* out);

// File name without directory and without extension.
std::string GetFileTitle(const std::string& path);

// The project directory, against which relative game paths are resolved;
// empty until a project is loaded.
const std::string& GetProjectDirectory();
void SetProjectDirectory(const std::string& directory);

// A resource's path as its file is looked up, whatever its kind (images,
// sounds, movies, texts): the letters A-Z past the project directory's
// length lower-cased. Game data is laid out in lower case; the directory
// the project lies in keeps the machine's own case.
std::string LowerResourcePath(const std::string& path);

} // namespace kvl

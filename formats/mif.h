// MapInfo Interchange Files (format 27): the graphic part (.mif) read into drawn shapes
// and written back from the displayed content of a data set. The attribute table (.mid)
// is neither read nor written.
//
// Reading is a state machine over the keywords of the file (mif_tables.cpp holds the
// keyword and unit dictionaries and the transition table): the header (CoordSys,
// Transform, Columns ...) up to DATA, then one object keyword after another, each
// followed by its style clauses (Pen, Brush, Symbol, Font), which restyle the objects
// made since the previous clause. The CoordSys clause is read step by step into the
// georeference the reader creates in the file's list; a NonEarth system removes it and
// the data keeps plain coordinates.
//
// Every count read from the file (points of a line, polygons of a region, points of a
// multipoint, lines of the column list) is checked against the bytes left before it is
// used: a count no file of that size can hold is bad data (14), and the objects read
// before it stay. Point arrays grow with the points really read, so a file never makes
// the reader allocate more than its own bytes call for.
//
// Files: mif_tables.cpp (dictionaries, transitions, module start-up), mif_read.cpp (the
// reading loop, words, numbers), mif_read_objects.cpp (object handlers),
// mif_read_styles.cpp (pen, brush, symbol, font, label), mif_read_coordsys.cpp (the
// header clauses), mif_write.cpp (the writer's frame and coordinate system),
// mif_write_objects.cpp (one writer per drawing class).
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;

constexpr int kMifFormat = 27;

// Result codes of the reader.
constexpr int kMifCannotOpen = 2;
constexpr int kMifBadSystem = 13;
constexpr int kMifBadData = 14;

// Keyword codes of the dictionary; a word not in it has code kMifOther.
enum mif_keyword : int {
  MIF_POINT = 0, MIF_LINE, MIF_PLINE, MIF_REGION, MIF_ARC, MIF_TEXT, MIF_RECT, MIF_ROUNDRECT,
  MIF_ELLIPSE, MIF_MULTIPOINT, MIF_COLLECTION, MIF_NONE, MIF_PEN, MIF_SYMBOL, MIF_BRUSH,
  MIF_FONT, MIF_SMOOTH, MIF_CENTER, MIF_ANGLE, MIF_JUSTIFY, MIF_SPACING, MIF_LABEL, MIF_DATA,
  MIF_COORDSYS, MIF_DELIMITER, MIF_TRANSFORM, MIF_UNIQUE, MIF_INDEX, MIF_COLUMNS, MIF_CHARSET,
  MIF_PROJECTION, MIF_AFFINE
};
constexpr int kMifKeywordCount = 32;
constexpr int kMifOther = 32;
constexpr int kMifUnitCount = 7;

// ---- Start-up (mif_tables.cpp) --------------------------------------------------------
// Builds the keyword and unit dictionaries and fills the reader slot of format 27.
// Calling it again rebuilds them. mif_free_tables releases them together with the
// transformation steps (Transform, Affine) of the files read, which the georeferences
// of those files and their copies share: only once none of them is left.
void mif_module_init();
void mif_free_tables();
// The code of a keyword (any case); kMifOther when it is not one.
int mif_keyword_code(const char* word);
// The linear unit of a MapInfo unit name (any case), 0 when unknown; the name of a
// linear unit (null when it has none).
int mif_unit_index(const char* name);
const char* mif_unit_text(int linear_unit);

// ---- Reading (mif_read.cpp) --------------------------------------------------------------
// The reader of format 27: reads the file's objects into `list` (the file's content
// list). 0 read; 2 the file cannot be opened; 14 the file held no object, or bad data
// (a keyword out of its place, a count beyond the bytes left, an object cut short by the
// end of the file); 13 a coordinate system that cannot be resolved. Objects read before
// an error stay in the list; gblerr is cleared. On success the list gets the default
// styles of the drawn shapes and the file its folder.
int mif_read(obj_t* file, container_t* list);

// ---- Writing (mif_write.cpp) --------------------------------------------------------------
// Writes the objects of the folders of `list` (the export list: georeferences first,
// then the folders) as a MIF file at `path`, in the system of the list's first
// georeference. A null list writes nothing; a file that cannot be created writes nothing
// (logged by the open); a failing close sets gblerr 2.
void mif_write(const char* path, container_t* list);
// The export writer of format 27 (the (name, list) order of the export table).
void mif_write_file(const char* name, container_t* list);

// The bilingual messages of the error codes and the captions of their categories.
// A code names its message and its category; the category gives the caption shown as
// the title of the message box. The current language is the configuration's
// (is_french); the _lang forms choose it explicitly.
#include "core/config.h"
#include "core/error.h"

namespace {

struct error_message {
  const char* french;
  const char* english;
  int category;
};

const error_message kMessages[] = {
    {"", "", 0},
    {"Pas assez de memoire", "Not enough memory space", 1},
    {"Impossible d'acceder au fichier", "No access to the file", 2},
    {"Format inconnu", "Unknown format", 3},
    {"Erreur d'ouverture du port COM", "Open COM port error", 4},
    {"Pas de communication", "No communication", 4},
    {"Erreur lors de la transformation", "Transformation error", 5},
    {"Erreur lors du chargement", "Loading error", 6},
    {"Affichage impossible", "Display error", 7},
    {"Erreur lors de l'initialisation", "Initialisation error", 8},
    {"Erreur interne (objet)", "Object internal error", 5},
    {"Erreur du systeme d'exploitation", "OS error", 9},
    {"Erreur interne (valeur)", "Value internal error\n.", 5},
    {"Probleme geographique", "Geographic error", 11},
    {"Fichier invalide", "Invalid file", 2},
    {"Parametres incorrects", "Wrong parameters", 10},
    {"Cas non traite", "Unknown error", 5},
    {"Protocole non defini", "Undefine protocol", 4},
    {"Erreur de pile", "Heap error", 1},
    {"Erreur web http", "Web http error", 4},
};

struct category_caption {
  const char* french;
  const char* english;
};

const category_caption kCaptions[] = {
    {"", ""},
    {"Probleme memoire", "Memory error"},
    {"Fichier invalide", "Invalid file"},
    {"Format de fichier inconnu", "Unknown file format"},
    {"Communication impossible", "No communication"},
    {"Erreur interne", "Internal error"},
    {"Erreur de chargement", "Loading error"},
    {"Erreur d'affichage", "Display error"},
    {"Erreur d'initialisation", "Initialisation error"},
    {"Erreur systeme", "System error"},
    {"Erreur applicative", "Application error"},
    {"Erreur geographique", "Geographic error"},
};

constexpr int kMessageCount = sizeof(kMessages) / sizeof(kMessages[0]);

const error_message* message_of(int code) {
  return code >= 0 && code < kMessageCount ? &kMessages[code] : nullptr;
}

}  // namespace

const char* get_error_text_lang(int code, bool french) {
  const error_message* m = message_of(code);
  if (!m) return "";
  return french ? m->french : m->english;
}

const char* get_error_title_lang(int code, bool french) {
  const error_message* m = message_of(code);
  if (!m) return "";
  const category_caption& c = kCaptions[m->category];
  return french ? c.french : c.english;
}

const char* get_error_text(int code) { return get_error_text_lang(code, is_french() == 1); }

const char* get_error_title(int code) { return get_error_title_lang(code, is_french() == 1); }

// The messages of the error codes and the captions of their categories, in both
// languages, and the choice of language by the configuration.
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/error.h"
#include "tests/core/config_fixture.h"

namespace {

struct Message {
  int code;
  const char* french;
  const char* english;
  const char* french_title;
  const char* english_title;
};

const Message kMessages[] = {
    {1, "Pas assez de memoire", "Not enough memory space", "Probleme memoire", "Memory error"},
    {2, "Impossible d'acceder au fichier", "No access to the file", "Fichier invalide",
     "Invalid file"},
    {3, "Format inconnu", "Unknown format", "Format de fichier inconnu", "Unknown file format"},
    {4, "Erreur d'ouverture du port COM", "Open COM port error", "Communication impossible",
     "No communication"},
    {5, "Pas de communication", "No communication", "Communication impossible",
     "No communication"},
    {6, "Erreur lors de la transformation", "Transformation error", "Erreur interne",
     "Internal error"},
    {7, "Erreur lors du chargement", "Loading error", "Erreur de chargement", "Loading error"},
    {8, "Affichage impossible", "Display error", "Erreur d'affichage", "Display error"},
    {9, "Erreur lors de l'initialisation", "Initialisation error", "Erreur d'initialisation",
     "Initialisation error"},
    {10, "Erreur interne (objet)", "Object internal error", "Erreur interne", "Internal error"},
    {11, "Erreur du systeme d'exploitation", "OS error", "Erreur systeme", "System error"},
    {12, "Erreur interne (valeur)", "Value internal error\n.", "Erreur interne",
     "Internal error"},
    {13, "Probleme geographique", "Geographic error", "Erreur geographique", "Geographic error"},
    {14, "Fichier invalide", "Invalid file", "Fichier invalide", "Invalid file"},
    {15, "Parametres incorrects", "Wrong parameters", "Erreur applicative", "Application error"},
    {16, "Cas non traite", "Unknown error", "Erreur interne", "Internal error"},
    {17, "Protocole non defini", "Undefine protocol", "Communication impossible",
     "No communication"},
    {18, "Erreur de pile", "Heap error", "Probleme memoire", "Memory error"},
    {19, "Erreur web http", "Web http error", "Communication impossible", "No communication"},
};

}  // namespace

TEST(MessagesTest, EveryCodeHasItsTextAndCaptionInBothLanguages) {
  for (const Message& m : kMessages) {
    EXPECT_STREQ(get_error_text_lang(m.code, true), m.french) << m.code;
    EXPECT_STREQ(get_error_text_lang(m.code, false), m.english) << m.code;
    EXPECT_STREQ(get_error_title_lang(m.code, true), m.french_title) << m.code;
    EXPECT_STREQ(get_error_title_lang(m.code, false), m.english_title) << m.code;
  }
}

TEST(MessagesTest, NoErrorAndCodesOutsideTheTableAreEmpty) {
  for (int code : {0, -1, 20, 1000}) {
    for (bool french : {true, false}) {
      EXPECT_STREQ(get_error_text_lang(code, french), "") << code;
      EXPECT_STREQ(get_error_title_lang(code, french), "") << code;
    }
  }
}

namespace {
class MessagesLanguageTest : public tm_test::ConfigFixture {};
}  // namespace

TEST_F(MessagesLanguageTest, CurrentLanguageComesFromTheConfiguration) {
  struct Case {
    const char* file;
    const char* text;
    const char* title;
  } cases[] = {
      {"LANG FRANCAIS\n", "Format inconnu", "Format de fichier inconnu"},
      {"LANG ENGLISH\n", "Unknown format", "Unknown file format"},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_STREQ(get_error_text(ERR_UNKNOWN_FORMAT), c.text) << c.file;
    EXPECT_STREQ(get_error_title(ERR_UNKNOWN_FORMAT), c.title) << c.file;
  }
}

// Why a fetch failed, in the user's words: the host that cannot be resolved, the
// connection refused or timed out, the status the server answered.
#include <string>

#include "core/http.h"

namespace {

// "host:port", or the host alone when the port is unknown.
std::string where(const http_failure_t& f) {
  std::string w = f.server;
  if (f.port > 0) w += ":" + std::to_string(f.port);
  return w;
}

}  // namespace

std::string http_failure_text(const http_failure_t& f, bool french) {
  const std::string at = where(f);
  switch (f.kind) {
    case HTTP_FAILED_ADDRESS:
      return french ? "L'adresse ne nomme aucun serveur" : "The address names no server";
    case HTTP_FAILED_RESOLVE:
      return french ? "Nom de serveur inconnu (impossible de le resoudre) : " + f.server
                    : "Cannot resolve the server name: " + f.server;
    case HTTP_FAILED_REFUSED:
      return french ? "Connexion impossible a " + at + " : connexion refusee"
                    : "Cannot connect to " + at + ": connection refused";
    case HTTP_FAILED_CONNECT:
      return french ? "Connexion impossible a " + at : "Cannot connect to " + at;
    case HTTP_FAILED_TIMEOUT:
      return french ? "Pas de reponse de " + at + " : delai depasse" : "No answer from " + at + ": timed out";
    case HTTP_FAILED_LOST:
      return french ? "Connexion a " + at + " interrompue" : "Connection to " + at + " lost";
    case HTTP_FAILED_STATUS:
      return french ? "Le serveur " + at + " a repondu par le statut " + std::to_string(f.status)
                    : "The server " + at + " answered with status " + std::to_string(f.status);
    case HTTP_FAILED_ANSWER:
      return french ? "Reponse illisible ou incomplete de " + at : "Unreadable or incomplete answer from " + at;
    case HTTP_FAILED_REDIRECTS:
      return french ? "Trop de redirections depuis " + at : "Too many redirections from " + at;
    default:
      return "";
  }
}

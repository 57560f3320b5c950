// SPDX-License-Identifier: MIT
#include "platform/support/SupportDefs.h"

#include <cerrno>

status_t StatusFromErrno(int error) {
    switch (error) {
        case 0:
            return B_OK;
        case ENOMEM:
            return B_NO_MEMORY;
        case EIO:
            return B_IO_ERROR;
        case EACCES:
        case EPERM:
            return B_PERMISSION_DENIED;
        case EINVAL:
            return B_BAD_VALUE;
        case ETIMEDOUT:
            return B_TIMED_OUT;
        case EINTR:
            return B_INTERRUPTED;
        case EAGAIN:
            return B_WOULD_BLOCK;
        case EBUSY:
            return B_BUSY;
        case ECANCELED:
            return B_CANCELED;
        case ENOTSUP:
            return B_UNSUPPORTED;
        case ENOENT:
            return B_ENTRY_NOT_FOUND;
        case EEXIST:
            return B_FILE_EXISTS;
        case ENAMETOOLONG:
            return B_NAME_TOO_LONG;
        case ENOTDIR:
            return B_NOT_A_DIRECTORY;
        case ENOTEMPTY:
            return B_DIRECTORY_NOT_EMPTY;
        case ENOSPC:
        case EDQUOT:
            return B_DEVICE_FULL;
        case EROFS:
            return B_READ_ONLY_DEVICE;
        case EISDIR:
            return B_IS_A_DIRECTORY;
        case EMFILE:
        case ENFILE:
            return B_NO_MORE_FDS;
        case EXDEV:
            return B_CROSS_DEVICE_LINK;
        case ELOOP:
            return B_LINK_LIMIT;
        case EPIPE:
            return B_BUSTED_PIPE;
        case EBADF:
            return B_FILE_ERROR;
        case EFBIG:
        case EOVERFLOW:
            return B_BAD_VALUE;
        default:
            return B_ERROR;
    }
}

const char* StatusText(status_t status) {
    switch (status) {
        case B_OK:
            return "aucune erreur";
        case B_ERROR:
            return "erreur";
        case B_NO_MEMORY:
            return "mémoire insuffisante";
        case B_IO_ERROR:
            return "erreur d’entrée-sortie";
        case B_PERMISSION_DENIED:
            return "permission refusée";
        case B_BAD_INDEX:
            return "indice hors limites";
        case B_BAD_TYPE:
            return "type incorrect";
        case B_BAD_VALUE:
            return "valeur incorrecte";
        case B_MISMATCHED_VALUES:
            return "valeurs incompatibles";
        case B_NAME_NOT_FOUND:
            return "nom introuvable";
        case B_NAME_IN_USE:
            return "nom déjà utilisé";
        case B_TIMED_OUT:
            return "délai dépassé";
        case B_INTERRUPTED:
            return "opération interrompue";
        case B_WOULD_BLOCK:
            return "opération bloquante";
        case B_CANCELED:
            return "opération annulée";
        case B_NO_INIT:
            return "objet non initialisé";
        case B_BUSY:
            return "ressource occupée";
        case B_NOT_ALLOWED:
            return "opération non permise";
        case B_BAD_DATA:
            return "données incorrectes";
        case B_DONT_DO_THAT:
            return "opération interdite";
        case B_UNSUPPORTED:
            return "opération non prise en charge";
        case B_FILE_ERROR:
            return "erreur de fichier";
        case B_FILE_NOT_FOUND:
            return "fichier introuvable";
        case B_FILE_EXISTS:
            return "le fichier existe déjà";
        case B_ENTRY_NOT_FOUND:
            return "élément introuvable";
        case B_NAME_TOO_LONG:
            return "nom trop long";
        case B_NOT_A_DIRECTORY:
            return "ce n’est pas un dossier";
        case B_DIRECTORY_NOT_EMPTY:
            return "dossier non vide";
        case B_DEVICE_FULL:
            return "plus de place sur le disque";
        case B_READ_ONLY_DEVICE:
            return "système de fichiers en lecture seule";
        case B_IS_A_DIRECTORY:
            return "c’est un dossier";
        case B_NO_MORE_FDS:
            return "trop de fichiers ouverts";
        case B_CROSS_DEVICE_LINK:
            return "déplacement entre deux volumes impossible";
        case B_LINK_LIMIT:
            return "trop de liens symboliques";
        case B_BUSTED_PIPE:
            return "tube rompu";
        case B_UNSUPPORTED_OPERATION:
            return "opération non prise en charge";
        case B_PARTITION_TOO_SMALL:
            return "partition trop petite";
        case B_BAD_REPLY:
            return "réponse incorrecte";
        case B_DUPLICATE_REPLY:
            return "réponse en double";
        case B_MESSAGE_TO_SELF:
            return "message envoyé à soi-même";
        case B_BAD_HANDLER:
            return "destinataire incorrect";
        case B_ALREADY_RUNNING:
            return "application déjà lancée";
        case B_LAUNCH_FAILED:
        case B_LAUNCH_FAILED_NO_RESOLVE_LINK:
        case B_LAUNCH_FAILED_EXECUTABLE:
        case B_LAUNCH_FAILED_APP_IN_TRASH:
            return "échec du lancement";
        case B_AMBIGUOUS_APP_LAUNCH:
            return "lancement ambigu";
        case B_UNKNOWN_MIME_TYPE:
            return "type MIME inconnu";
        case B_BAD_SCRIPT_SYNTAX:
            return "syntaxe de script incorrecte";
        case B_LAUNCH_FAILED_APP_NOT_FOUND:
        case B_LAUNCH_FAILED_FILES_APP_NOT_FOUND:
            return "application introuvable";
        case B_LAUNCH_FAILED_NO_PREFERRED_APP:
            return "aucune application préférée";
        case B_BAD_MIME_SNIFFER_RULE:
            return "règle d’identification incorrecte";
        case B_NOT_A_MESSAGE:
            return "ce n’est pas un message";
        case B_SHUTDOWN_CANCELLED:
            return "arrêt annulé";
        case B_SHUTTING_DOWN:
            return "arrêt en cours";
        case B_NO_TRANSLATOR:
            return "format non pris en charge";
        case B_ILLEGAL_DATA:
            return "données illisibles";
        default:
            return "erreur inconnue";
    }
}

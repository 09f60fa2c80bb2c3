#include "fileops/WriteFailure.h"

#include <cerrno>

bool FailureEndsRun(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EIO:
    case EROFS:
    case ENOMEM:
    case EMFILE:
    case ENFILE:
    case ENODEV:
    case EUCLEAN: // the file system is damaged
    case ESHUTDOWN:
    case ENOTCONN: // a network or FUSE file system whose server went away
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOLINK:
    case ECOMM:
    case EREMOTEIO:
    case EKEYEXPIRED: // a network file system's credentials ran out
        return true;
    default:
        return false;
    }
}

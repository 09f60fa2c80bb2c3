// Web addresses typed or passed on a command line: every part splits without trouble, and the
// name a download is stored under is always one plain file name in its folder.
#include "FuzzTarget.h"

#include "platform/FileNames.h"
#include "support/WebAddress.h"
#include "support/WebTransfer.h"

KELVANE_FUZZ_TARGET(web_address) {
    const QString address = QString::fromUtf8(data);
    IsWebAddress(address);
    UrlScheme(address);
    UrlHost(address);
    NeedsNoConnection(address);
    ConnectionTargetFor(address);
    DownloadStatusText(address);
    if (const QString host = UrlHost(address); !host.isEmpty())
        IsLoopbackHost(host);

    const QString urlName = UrlFileName(address);
    for (const QChar separator : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
        FUZZ_CHECK(!urlName.contains(separator), QStringLiteral("a separator in ") + urlName);

    for (const QString& type : {QString(), QStringLiteral("text/html")}) {
        const QString name = DownloadFileName(address, type);
        const QByteArray bytes = platform::EncodeFileName(name);
        FUZZ_CHECK(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."),
                   QStringLiteral("no file name: '%1'").arg(name));
        FUZZ_CHECK(!bytes.contains('/') && !bytes.contains('\0'),
                   QStringLiteral("not one name: '%1'").arg(name));
        FUZZ_CHECK(bytes.size() <= 255, QStringLiteral("a name of %1 bytes").arg(bytes.size()));
        FUZZ_CHECK(platform::DecodeFileName(bytes) == name,
                   QStringLiteral("'%1' is not stored as itself").arg(name));
    }
}

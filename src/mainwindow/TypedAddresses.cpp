#include "mainwindow/TypedAddresses.h"

#include "platform/UserRegistry.h"

QStringList ReadTypedAddresses() {
    QStringList addresses;
    const std::optional<RegistryKey> key = RegistryKey::Open(kTypedAddressesKey, false);
    if (!key)
        return addresses;
    for (int number = 1; number <= kTypedAddressCount; ++number) {
        const std::optional<QString> value = key->StringValue(QStringLiteral("Url%1").arg(number));
        if (value && !value->isEmpty())
            addresses.append(*value);
    }
    return addresses;
}

#include "RendererSetting.h"

#include <QSettings>
#include <QString>
#include <QVariant>

std::optional<std::wstring> ReadVideoModeSetting()
{
    // HKCU\SOFTWARE\Qorvex\Vantix\Visualizer maps onto the user's native
    // settings of organisation "Qorvex", application "Vantix", group "Visualizer".
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qorvex"),
                       QStringLiteral("Vantix"));
    if (settings.status() != QSettings::NoError)
        return std::nullopt;
    settings.beginGroup(QStringLiteral("Visualizer"));
    const QVariant value = settings.value(QStringLiteral("VideoMode"));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdWString();
}

int RendererFromVideoMode(const std::optional<std::wstring>& text)
{
    if (text && *text == L"OPENGL")
        return 1;
    return 0;
}

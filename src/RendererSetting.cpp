#include "RendererSetting.h"

#include "VersionInfo.h"

#include <QSettings>
#include <QString>
#include <QVariant>

std::optional<std::wstring> ReadVideoModeSetting()
{
    // The key is built from the version block at each use; without company or
    // product names there is no key to read.
    const std::unique_ptr<QSettings> settings = OpenProgramSettings(kVisualizerSubkey);
    if (!settings || settings->status() != QSettings::NoError)
        return std::nullopt;
    const QVariant value = settings->value(QString::fromWCharArray(kVideoModeValue));
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

bool WriteVideoModeSetting(const std::wstring& text)
{
    const std::unique_ptr<QSettings> settings = OpenProgramSettings(kVisualizerSubkey);
    if (!settings)
        return false;
    settings->setValue(QString::fromWCharArray(kVideoModeValue), QString::fromStdWString(text));
    settings->sync();
    return settings->status() == QSettings::NoError;
}

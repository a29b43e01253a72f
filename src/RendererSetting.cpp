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

plot::RendererCode RendererFromVideoMode(const std::optional<std::wstring>& text)
{
    return text && *text == VideoModeText(plot::RendererCode::OpenGL) ? plot::RendererCode::OpenGL
                                                                      : plot::RendererCode::Software;
}

const wchar_t* VideoModeText(plot::RendererCode renderer)
{
    return renderer == plot::RendererCode::OpenGL ? L"OPENGL" : L"DIRECTX";
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

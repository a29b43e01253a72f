// Renders the "Data Representation" dialog on a results file into a PNG, the
// first fixed input pinned and the value editor open on the second one, or
// (with "ranges") the first held at "All" and the second over a range:
//   inputconfig_screenshot <file.ors> <out.png> [ranges]
#include "InputConfigDlg.h"
#include "OrsDataProvider.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

using namespace IQX_VantixDataProvider;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool bRanges = argc == 4 && QByteArray(argv[3]) == "ranges";
    if (argc != 3 && !bRanges) {
        std::fprintf(stderr, "usage: inputconfig_screenshot <file.ors> <out.png> [ranges]\n");
        return 2;
    }
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    IUnknown* data = nullptr;
    if (FAILED(provider->Load(QString::fromLocal8Bit(argv[1]).toStdWString(), &data))) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    ComPtr<IOptimizationResultsDataSource> source(data);
    data->Release();

    CInputConfigDlg dlg;
    if (dlg.Initialize(source.Get(), nullptr) != S_OK) {
        std::fprintf(stderr, "Initialize failed\n");
        return 1;
    }
    dlg.show();
    dlg.activateWindow();
    if (!QTest::qWaitForWindowExposed(&dlg))
        std::fprintf(stderr, "the dialog was not shown; the picture may be blank\n");
    CInputList& list = dlg.GetInputList();
    const auto type = [&](int row, const QString& text) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(row, 2).center());
        list.m_ValueHandler.GetEdit()->selectAll();
        QTest::keyClicks(list.m_ValueHandler.GetEdit(), text);
        QTest::keyClick(list.m_ValueHandler.GetEdit(), Qt::Key_Return);
    };
    if (bRanges && list.GetItemCount() >= 2) {
        type(0, QStringLiteral("All"));
        const InputInfo& in = dlg.Input(static_cast<std::size_t>(list.GetInputIndex(1)));
        const std::size_t n = in.values.size();
        type(1, NumberToText(in.values[n / 4].second.value) + QStringLiteral(":") +
                    NumberToText(in.values[3 * n / 4].second.value));
    } else if (list.GetItemCount() >= 2) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(0, 0).center());
        QCoreApplication::processEvents();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.CellRect(1, 2).center());
        QTest::keyClick(list.m_ValueHandler.GetEdit(), Qt::Key_Up);
    }
    QCoreApplication::processEvents();
    if (!dlg.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

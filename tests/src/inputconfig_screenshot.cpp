// Renders the "Data Representation" dialog on a results file into a PNG, the
// first fixed input pinned and the value editor open on the second one:
//   inputconfig_screenshot <file.ors> <out.png>
#include "InputConfigDlg.h"
#include "OrsDataProvider.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

using namespace IQX_VantixDataProvider;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: inputconfig_screenshot <file.ors> <out.png>\n");
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
    QTest::qWaitForWindowExposed(&dlg);
    CInputList& list = dlg.GetInputList();
    if (list.GetItemCount() >= 2) {
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

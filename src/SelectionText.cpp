#include "SelectionText.h"

#include "IDataTransfer.h"

#include <boost/shared_ptr.hpp>

#include <locale>
#include <sstream>

std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, double x, double y, double z)
{
    // Default stream formatting: general notation, 6 significant digits, '.' as separator.
    std::wostringstream text;
    text.imbue(std::locale::classic());
    text << xAxisTitle << L" : " << x << L" " << yAxisTitle << L" : " << z << L"  " << functionTitle << L" : " << y;
    return text.str();
}

std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, const std::wstring& x, const std::wstring& y,
                                const std::wstring& z)
{
    return xAxisTitle + L" : " + x + L" " + yAxisTitle + L" : " + z + L"  " + functionTitle + L" : " + y;
}

std::optional<PickedRecord> FindPickedRecord(IDataTransfer& slice, double x, double y, double z,
                                             const SliceAxes* axes)
{
    boost::shared_ptr<IDataIterator> pIterator;
    if (!slice.GetDataIterator(&pIterator) || !pIterator)
        return std::nullopt;
    // Positions are the inputs' own values, so they compare exactly.
    PickedRecord picked;
    for (bool bPositioned = pIterator->Begin(); bPositioned; bPositioned = pIterator->Next()) {
        double vx = 0, vz = 0, v = 0;
        if (!pIterator->GetData(&vx, &vz, &v))
            continue;
        if (axes) { // placed as the adapter placed them
            std::uint64_t nX = 0, nY = 0;
            double unused = 0;
            pIterator->GetDataInt(&nX, &nY, &unused);
            vx = (*axes)[0].Position(vx, nX);
            vz = (*axes)[1].Position(vz, nY);
            v = (*axes)[2].Position(v);
        }
        if (vx != x || vz != z)
            continue;
        std::uint32_t nRecord = 0;
        if (!pIterator->GetRecord(&nRecord))
            return std::nullopt;
        if (picked.nShared++ == 0 || (!picked.bExact && v == y)) {
            picked.nRecord = nRecord;
            picked.bExact = v == y;
        }
    }
    if (picked.nShared == 0)
        return std::nullopt;
    return picked;
}

std::wstring DescribePickedRecord(const PickedRecord& picked)
{
    if (!picked.bExact)
        return L"  mean of " + std::to_wstring(picked.nShared) + L" records";
    std::wstring text = L"  record " + std::to_wstring(picked.nRecord);
    if (picked.nShared > 1)
        text += L" (of " + std::to_wstring(picked.nShared) + L" here)";
    return text;
}

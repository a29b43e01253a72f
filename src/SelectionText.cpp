#include "SelectionText.h"

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

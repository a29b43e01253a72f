#include "DataTransformer.h"

#include "diagnostics/snagwise.h"

#include <QString>

using namespace IQX_VantixDataProvider;

CDataTransformer::CDataTransformer(IUnknown* pSource)
{
    SW_TRACE(L"Data transformer : create %p", static_cast<void*>(this));
    // A failed query other than "no such interface" throws; that one leaves the reference empty.
    m_pDataSource.QueryFrom(pSource);
    m_pDataSourceEx.QueryFrom(pSource);
    SW_ASSERT(m_pDataSourceEx && m_pDataSource && L"Bad pointer");
}

CDataTransformer::CDataTransformer(const CDataTransformer& other)
    : IDataTransfer(other),
      m_pDataSource(other.m_pDataSource),
      m_pDataSourceEx(other.m_pDataSourceEx),
      m_eType(other.m_eType),
      m_nFunction(other.m_nFunction),
      m_Fixed(other.m_Fixed),
      m_nInputX(other.m_nInputX),
      m_nInputY(other.m_nInputY)
{
    SW_TRACE(L"Data transformer : create %p", static_cast<void*>(this));
}

// Members go in reverse order: m_Fixed, then the extended source, then the source.
CDataTransformer::~CDataTransformer()
{
    SW_TRACE(L"Data transformer : destroy %p", static_cast<void*>(this));
}

IDataTransfer::DataType CDataTransformer::GetDataType() const
{
    return m_eType;
}

IDataTransfer::DataStyle CDataTransformer::GetDataStyle() const
{
    LONG lType = 0;
    const HRESULT hr = m_pDataSource->GetDataType(&lType);
    SW_ASSERT(SUCCEEDED(hr) && L"GetDataType failure");
    switch (lType) {
    case 0:
    case 1:
        return STYLE_SURFACE;
    case 2:
        return STYLE_POINT3D;
    default:
        SW_ASSERT(! L"Unknown data type");
        return STYLE_SURFACE;
    }
}

bool CDataTransformer::GetDataIterator(boost::shared_ptr<IDataIterator>* ppIterator)
{
    SW_ASSERT_OR(ppIterator && L"Bad pointer", return false);
    switch (m_eType) {
    case DATA_2D: {
        ULONG ulInputCount = 0;
        const HRESULT hr = m_pDataSource->GetInputCount(&ulInputCount);
        SW_ASSERT(SUCCEEDED(hr));
        if (2 == ulInputCount) {
            // Nothing to hold: every record belongs to the slice.
            ppIterator->reset(new CBaseDataIterator(this));
        } else {
            if (ulInputCount < 2)
                SW_ASSERT(ulInputCount > 2 && L"Input count have to be greate than 2 for this case");
            const std::size_t fixedSize = m_Fixed.size();
            SW_ASSERT(2 == ulInputCount - fixedSize && L"fixed not enough inputs");
            ppIterator->reset(new CShearDataIterator(this, m_Fixed));
        }
        break;
    }
    case DATA_1D:
        ppIterator->reset(new CPlainDataIterator(this));
        break;
    default:
        break;
    }
    return true;
}

void CDataTransformer::GetFunctionName(std::wstring* pName) const
{
    const HRESULT hr = m_pDataSource->GetFunctionName(m_nFunction, pName);
    SW_ASSERT(SUCCEEDED(hr) && L"GetFunctionName error");
}

void CDataTransformer::GetInputXName(std::wstring* pName) const
{
    const HRESULT hr = m_pDataSource->GetInputName(m_nInputX, pName);
    SW_ASSERT(SUCCEEDED(hr) && L"GetInputName error");
}

void CDataTransformer::GetInputYName(std::wstring* pName) const
{
    const HRESULT hr = m_pDataSource->GetInputName(m_nInputY, pName);
    SW_ASSERT(SUCCEEDED(hr) && L"GetInputYName error");
}

void CDataTransformer::GetInputXFullName(std::wstring* pName) const
{
    GetInputFullName(m_nInputX, pName);
}

void CDataTransformer::GetInputYFullName(std::wstring* pName) const
{
    GetInputFullName(m_nInputY, pName);
}

ComPtr<IOptimizationResultsDataMeaning> CDataTransformer::Meaning() const
{
    // Asked for when needed: the transformer holds only the source's two interfaces.
    ComPtr<IOptimizationResultsDataMeaning> spMeaning;
    if (m_pDataSource)
        spMeaning.TryQueryFrom(m_pDataSource.Get());
    return spMeaning;
}

bool CDataTransformer::IsAxisLogScaled(int axis) const
{
    const auto spMeaning = Meaning();
    LONG scale = kScaleLinear;
    if (!spMeaning)
        return false;
    const HRESULT hr = axis == 2 ? spMeaning->GetFunctionScale(m_nFunction, &scale)
                                 : spMeaning->GetInputScale(axis == 0 ? m_nInputX : m_nInputY, &scale);
    return SUCCEEDED(hr) && scale == kScaleLog;
}

bool CDataTransformer::IsAxisLabelled(int axis) const
{
    const auto spMeaning = Meaning();
    return spMeaning && axis != 2 && spMeaning->IsInputLabelled(axis == 0 ? m_nInputX : m_nInputY) == S_OK;
}

std::wstring CDataTransformer::GetAxisLabel(int axis, std::uint64_t index) const
{
    const auto spMeaning = Meaning();
    std::wstring label;
    if (!spMeaning || axis == 2 || spMeaning->GetInputValueLabel(axis == 0 ? m_nInputX : m_nInputY, index, &label) != S_OK)
        label.clear();
    return label;
}

std::optional<std::uint64_t> CDataTransformer::GetAxisNoneIndex(int axis) const
{
    const auto spMeaning = Meaning();
    std::uint64_t index = 0;
    if (!spMeaning || axis == 2 || spMeaning->GetInputNoneIndex(axis == 0 ? m_nInputX : m_nInputY, &index) != S_OK)
        return std::nullopt;
    return index;
}

void CDataTransformer::GetInputFullName(std::uint32_t nInput, std::wstring* pName) const
{
    std::wstring name;
    HRESULT hr = m_pDataSource->GetInputName(nInput, &name);
    SW_ASSERT(SUCCEEDED(hr) && L"GetInputName error");
    std::wstring signal;
    hr = m_pDataSource->GetSignalName(nInput, &signal);
    SW_ASSERT(SUCCEEDED(hr) && L"GetSignalName error");
    if (pName)
        *pName = signal + L":" + name;
}

std::wstring CDataTransformer::GetProximalName() const
{
    std::wstring result;
    LONG lType = 0;
    HRESULT hr = m_pDataSource->GetDataType(&lType);
    SW_ASSERT(SUCCEEDED(hr));
    if (0 == lType || 1 == lType)
        result = L"bf";
    else if (2 == lType)
        result = L"ga";

    ULONG ulCount = 0;
    hr = m_pDataSource->GetInputCount(&ulCount);
    SW_ASSERT(SUCCEEDED(hr));
    const ULONG k = ulCount < 2 ? ulCount : 2;
    // The source's first inputs, whatever X and Y are.
    for (ULONG i = 0; i < k; ++i) {
        result += L"_";
        std::wstring signal;
        hr = m_pDataSource->GetSignalName(i, &signal);
        SW_ASSERT(SUCCEEDED(hr));
        result += signal;
    }
    return result;
}

HRESULT CDataTransformer::GetDataSaver(IUnknown** ppSaver) const
{
    const HRESULT hr = m_pDataSource->QueryInterface(platform::uuidof<IOptimizationResultsDataSaver>(),
                                                     reinterpret_cast<void**>(ppSaver));
    SW_ASSERT(S_OK == hr && L"can't get saver interface");
    return hr;
}

// --- CBaseDataIterator ----------------------------------------------------------

bool CDataTransformer::CBaseDataIterator::GetData(double* x, double* y, double* z) const
{
    HRESULT hr = m_pOwner->m_pDataSource->GetInputValue(m_nPos, m_pOwner->m_nInputX, x);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSource->GetInputValue(m_nPos, m_pOwner->m_nInputY, y);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSource->GetFunctionValue(m_nPos, m_pOwner->m_nFunction, z);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CBaseDataIterator::GetData(double*, double*) const
{
    return false;
}

bool CDataTransformer::CBaseDataIterator::GetDataInt(std::uint64_t* x, std::uint64_t* y, double* z) const
{
    HRESULT hr = m_pOwner->m_pDataSourceEx->GetInputValueIndex(m_nPos, m_pOwner->m_nInputX, x);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSourceEx->GetInputValueIndex(m_nPos, m_pOwner->m_nInputY, y);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSource->GetFunctionValue(m_nPos, m_pOwner->m_nFunction, z);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CBaseDataIterator::GetDataInt(std::uint64_t*, double*) const
{
    return false;
}

bool CDataTransformer::CBaseDataIterator::GetInputXValue(const std::uint64_t& index, double* x) const
{
    const HRESULT hr = m_pOwner->m_pDataSourceEx->GetInputValueByIndex(index, m_pOwner->m_nInputX, x);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CBaseDataIterator::GetInputYValue(const std::uint64_t& index, double* y) const
{
    const HRESULT hr = m_pOwner->m_pDataSourceEx->GetInputValueByIndex(index, m_pOwner->m_nInputY, y);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CBaseDataIterator::Begin()
{
    ULONG ulCount = 0;
    const HRESULT hr = m_pOwner->m_pDataSource->GetRecordCount(&ulCount);
    SW_ASSERT(SUCCEEDED(hr));
    m_nCount = ulCount;
    m_nPos = 0;
    return m_nCount != 0;
}

bool CDataTransformer::CBaseDataIterator::GetRecord(std::uint32_t* pRecord) const
{
    if (!pRecord || m_nPos >= m_nCount)
        return false;
    *pRecord = m_nPos;
    return true;
}

bool CDataTransformer::CBaseDataIterator::Next()
{
    if (m_nPos < m_nCount)
        ++m_nPos;
    return m_nPos < m_nCount;
}

// --- CPlainDataIterator ---------------------------------------------------------

bool CDataTransformer::CPlainDataIterator::GetData(double*, double*, double*) const
{
    return false;
}

bool CDataTransformer::CPlainDataIterator::GetData(double* x, double* z) const
{
    HRESULT hr = m_pOwner->m_pDataSource->GetInputValue(m_nPos, m_pOwner->m_nInputX, x);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSource->GetFunctionValue(m_nPos, m_pOwner->m_nFunction, z);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CPlainDataIterator::GetDataInt(std::uint64_t*, std::uint64_t*, double*) const
{
    return false;
}

bool CDataTransformer::CPlainDataIterator::GetDataInt(std::uint64_t* x, double* z) const
{
    HRESULT hr = m_pOwner->m_pDataSourceEx->GetInputValueIndex(m_nPos, m_pOwner->m_nInputX, x);
    SW_ASSERT(SUCCEEDED(hr));
    hr = m_pOwner->m_pDataSource->GetFunctionValue(m_nPos, m_pOwner->m_nFunction, z);
    SW_ASSERT(SUCCEEDED(hr));
    return true;
}

bool CDataTransformer::CPlainDataIterator::GetInputYValue(const std::uint64_t&, double*) const
{
    return false;
}

// --- CShearDataIterator ---------------------------------------------------------

bool CDataTransformer::CShearDataIterator::GetData(double*, double*) const
{
    return false;
}

bool CDataTransformer::CShearDataIterator::GetDataInt(std::uint64_t*, double*) const
{
    return false;
}

// Matching is on value indices, never on the doubles; the first mismatch ends the test.
bool CDataTransformer::CShearDataIterator::IsCurrentValid() const
{
    for (const FixedInput& fixed : m_Fixed) {
        std::uint64_t nIndex = 0;
        const HRESULT hr = m_pOwner->m_pDataSourceEx->GetInputValueIndex(m_nPos, fixed.nInput, &nIndex);
        SW_ASSERT(SUCCEEDED(hr));
        if (!fixed.Holds(nIndex))
            return false;
    }
    return true;
}

void CDataTransformer::CShearDataIterator::BindColumns()
{
    m_FixedKeys.clear();
    m_spColumns.Reset();
    if (m_Fixed.empty() ||
        FAILED(m_spColumns.TryQueryFrom(m_pOwner->m_pDataSource.Get())) ||
        !m_spColumns)
        return;
    for (const FixedInput& fixed : m_Fixed) {
        const std::uint32_t* pKeys = nullptr;
        ULONG nCount = 0;
        if (FAILED(m_spColumns->GetInputValueIndexColumn(fixed.nInput, &pKeys, &nCount)) || !pKeys ||
            nCount != m_nCount) {
            m_FixedKeys.clear();
            m_spColumns.Reset();
            return;
        }
        m_FixedKeys.push_back(pKeys);
    }
}

void CDataTransformer::CShearDataIterator::FindNextValid()
{
    ++m_nPos;
    if (!m_FixedKeys.empty()) {
        ScanColumns();
        return;
    }
    while (m_nPos < m_nCount && !IsCurrentValid())
        ++m_nPos;
}

void CDataTransformer::CShearDataIterator::ScanColumns()
{
    // The first fixed input picks candidates, the others confirm. An index
    // below the interval wraps around, so one unsigned compare tests both ends.
    const std::uint64_t first = m_Fixed.front().nValue;
    const std::uint64_t span = m_Fixed.front().nSpan;
    const std::uint32_t* const keys0 = m_FixedKeys.front();
    const std::size_t nFixed = m_Fixed.size();
    for (; m_nPos < m_nCount; ++m_nPos) {
        if (std::uint64_t{keys0[m_nPos]} - first > span)
            continue;
        std::size_t k = 1;
        while (k < nFixed && m_Fixed[k].Holds(m_FixedKeys[k][m_nPos]))
            ++k;
        if (k == nFixed)
            return;
    }
}

bool CDataTransformer::CShearDataIterator::Begin()
{
    ULONG ulCount = 0;
    const HRESULT hr = m_pOwner->m_pDataSource->GetRecordCount(&ulCount);
    SW_ASSERT(SUCCEEDED(hr));
    m_nCount = ulCount;
    m_nPos = 0;
    if (0 == m_nCount)
        return false;
    BindColumns();
    if (!m_FixedKeys.empty())
        ScanColumns();
    else if (!IsCurrentValid())
        FindNextValid();
    return m_nPos < m_nCount;
}

bool CDataTransformer::CShearDataIterator::Next()
{
    FindNextValid();
    return m_nPos < m_nCount;
}

std::wstring CDataTransformer::DescribeHeldInputs() const
{
    const auto value = [this](std::uint32_t input, std::uint64_t index) {
        double v = 0;
        if (!m_pDataSourceEx || FAILED(m_pDataSourceEx->GetInputValueByIndex(index, input, &v)))
            return std::wstring(L"?");
        return QString::number(v, 'g', 6).toStdWString();
    };
    std::wstring text;
    for (const FixedInput& f : m_Fixed) {
        std::wstring name;
        GetInputFullName(f.nInput, &name);
        if (!text.empty())
            text += L", ";
        text += name + L" = " + value(f.nInput, f.nValue);
        if (f.nSpan > 0)
            text += L" to " + value(f.nInput, f.nValue + f.nSpan);
    }
    return text;
}

#pragma once
// Turns a loaded data source plus the user's choice (X, Y, function and a value
// for every other input) into chart-ready data. Only the choice is stored;
// every name, count and value is asked from the source when needed.
#include "IDataTransfer.h"

#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataColumns.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <cstdint>
#include <string>
#include <vector>

class CDataTransformer : public IDataTransfer {
public:
    class CBaseDataIterator;
    class CPlainDataIterator;
    class CShearDataIterator;

    explicit CDataTransformer(IUnknown* pSource);
    CDataTransformer(const CDataTransformer& other);
    CDataTransformer& operator=(const CDataTransformer& other) = default;
    ~CDataTransformer() override;

    DataType GetDataType() const override;
    DataStyle GetDataStyle() const override;
    bool GetDataIterator(boost::shared_ptr<IDataIterator>* ppIterator) override;
    void GetFunctionName(std::wstring* pName) const override;
    void GetInputXName(std::wstring* pName) const override;
    void GetInputYName(std::wstring* pName) const override;
    void GetInputXFullName(std::wstring* pName) const override;
    void GetInputYFullName(std::wstring* pName) const override;
    bool IsAxisLogScaled(int axis) const override;
    bool IsAxisLabelled(int axis) const override;
    std::wstring GetAxisLabel(int axis, std::uint64_t index) const override;
    std::optional<std::uint64_t> GetAxisNoneIndex(int axis) const override;

    // Short name of the data for default file names: "bf"/"ga" and the signal
    // names of the source's first two inputs.
    std::wstring GetProximalName() const;
    // The source's saver interface (one added reference), null when absent.
    HRESULT GetDataSaver(IUnknown** ppSaver) const;
    // The held inputs, "name = value" (or "name = low to high" over a range)
    // in input order, ", " apart; values with six significant digits.
    std::wstring DescribeHeldInputs() const;
    // The data object the slice is taken from.
    IUnknown* Source() const { return m_pDataSource.Get(); }

private:
    void GetInputFullName(std::uint32_t nInput, std::wstring* pName) const;
    // The source's meaning of its values; empty when it offers none.
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataMeaning> Meaning() const;

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSource> m_pDataSource;
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSourceEx> m_pDataSourceEx;

public:
    // The chart document configures these right after construction.
    DataType m_eType = DATA_2D;
    std::uint32_t m_nFunction = 0;
    std::vector<FixedInput> m_Fixed; // in input order
    std::uint32_t m_nInputX = 0;
    std::uint32_t m_nInputY = 1;
};

// Iterators keep a plain pointer to the transformer that made them: it must
// outlive them. Nothing is cached; every number is asked from the source.
class CDataTransformer::CBaseDataIterator : public IDataIterator {
public:
    explicit CBaseDataIterator(const CDataTransformer* pOwner) : m_pOwner(pOwner) {}

    bool GetData(double* x, double* y, double* z) const override;
    bool GetData(double* x, double* z) const override;
    bool GetDataInt(std::uint64_t* x, std::uint64_t* y, double* z) const override;
    bool GetDataInt(std::uint64_t* x, double* z) const override;
    bool GetInputXValue(const std::uint64_t& index, double* x) const override;
    bool GetInputYValue(const std::uint64_t& index, double* y) const override;
    bool Begin() override;
    bool Next() override;
    bool GetRecord(std::uint32_t* pRecord) const override;

protected:
    const CDataTransformer* m_pOwner;
    std::uint32_t m_nCount = 0;
    std::uint32_t m_nPos = 0;
};

// One free input: X and the function.
class CDataTransformer::CPlainDataIterator : public CBaseDataIterator {
public:
    using CBaseDataIterator::CBaseDataIterator;

    bool GetData(double* x, double* y, double* z) const override;
    bool GetData(double* x, double* z) const override;
    bool GetDataInt(std::uint64_t* x, std::uint64_t* y, double* z) const override;
    bool GetDataInt(std::uint64_t* x, double* z) const override;
    bool GetInputYValue(const std::uint64_t& index, double* y) const override;
};

// The planar section through the chosen point: only records in which every
// fixed input has its chosen value index, found by scanning the records.
class CDataTransformer::CShearDataIterator : public CBaseDataIterator {
public:
    CShearDataIterator(const CDataTransformer* pOwner, std::vector<FixedInput> fixed)
        : CBaseDataIterator(pOwner), m_Fixed(std::move(fixed))
    {
    }

    bool GetData(double* x, double* z) const override;
    bool GetDataInt(std::uint64_t* x, double* z) const override;
    bool Begin() override;
    bool Next() override;

private:
    bool IsCurrentValid() const;
    void FindNextValid();
    // Binds the value-index columns of the fixed inputs when the source offers
    // them, so the scan reads arrays instead of asking record by record.
    void BindColumns();
    // From m_nPos on, to the first record matching every fixed input (bound columns).
    void ScanColumns();

    std::vector<FixedInput> m_Fixed;
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataColumns> m_spColumns;
    std::vector<const std::uint32_t*> m_FixedKeys; // one per fixed input, when bound
};

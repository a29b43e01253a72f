#pragma once
// Record-by-record walk over one data slice. z is always the function value;
// the 64-bit numbers are value indices as the data provider reports them.
#include <cstdint>

class IDataIterator {
public:
    virtual bool GetData(double* x, double* y, double* z) const = 0;
    virtual bool GetData(double* x, double* z) const = 0;
    virtual bool GetDataInt(std::uint64_t* x, std::uint64_t* y, double* z) const = 0;
    virtual bool GetDataInt(std::uint64_t* x, double* z) const = 0;
    // Independent of the current record.
    virtual bool GetInputXValue(const std::uint64_t& index, double* x) const = 0;
    virtual bool GetInputYValue(const std::uint64_t& index, double* y) const = 0;
    // (Re)starts the walk; true while positioned on a record.
    virtual bool Begin() = 0;
    virtual bool Next() = 0;
    virtual ~IDataIterator() = default;
    // The provider's index of the record the walk stands on; false when the
    // iterator cannot tell.
    virtual bool GetRecord(std::uint32_t* pRecord) const { return false; }
};

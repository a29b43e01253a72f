#pragma once
// Chart-ready description of one data slice: what kind of data it is, how it
// is presented, the names of its axes and a factory for iterators over it.
#include "IDataIterator.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <optional>
#include <string>

// One held input: the value indices nValue .. nValue + nSpan (values are
// ascending, so this is a value range). nSpan 0 holds one value; a span over
// every value holds the input at "All" (the slice projects over it).
struct FixedInput {
    std::uint32_t nInput = 0;
    std::uint64_t nValue = 0;
    std::uint64_t nSpan = 0;

    bool Holds(std::uint64_t index) const { return index - nValue <= nSpan; }

    friend bool operator==(const FixedInput&, const FixedInput&) = default;
};

class IDataTransfer {
public:
    enum DataType : std::int32_t {
        DATA_2D = 0, // X and Y free, one function value per point
        DATA_1D = 1, // X free, one function value per point
    };
    enum DataStyle : std::int32_t {
        STYLE_SURFACE = 0,
        STYLE_POINT3D = 1,
    };

    virtual DataType GetDataType() const = 0;
    virtual DataStyle GetDataStyle() const = 0;
    // The iterator is handed out unstarted; the caller calls Begin.
    virtual bool GetDataIterator(boost::shared_ptr<IDataIterator>* ppIterator) = 0;
    // The names are written into caller-owned strings.
    virtual void GetFunctionName(std::wstring* pName) const = 0;
    virtual void GetInputXName(std::wstring* pName) const = 0;
    virtual void GetInputYName(std::wstring* pName) const = 0;
    // "signal:name", the label under which a later load must match.
    virtual void GetInputXFullName(std::wstring* pName) const = 0;
    virtual void GetInputYFullName(std::wstring* pName) const = 0;

    // What the slice's axes mean beyond their numbers (axis 0: X, 1: Y, 2:
    // the function). The defaults: plain, linear numbers.
    // Whether the data give the axis a log scale.
    virtual bool IsAxisLogScaled(int axis) const { return false; }
    // Whether X or Y is a labelled (categorical) input: its values are codes.
    virtual bool IsAxisLabelled(int axis) const { return false; }
    // The label of value index `index` of X or Y: a category or "(none)";
    // empty for a plain number.
    virtual std::wstring GetAxisLabel(int axis, std::uint64_t index) const { return {}; }
    // The value index of X's or Y's "(none)"; nothing when every record has the input.
    virtual std::optional<std::uint64_t> GetAxisNoneIndex(int axis) const { return std::nullopt; }
    virtual ~IDataTransfer() = default;
};

#pragma once
// Optional additions to the data provider contract for what an optimizer
// meant beyond the numbers: value labels of categorical inputs, the "(none)"
// value of inputs a record lacks, log scales and each function's direction
// (on the data object), and the choices a load may need from the user
// (on the provider). Objects may lack them; callers then treat every input as
// numeric and linear, every function as minimised, and every load as needing
// no choice.
#include "ors_provider/IQX_VantixDataProvider.h"

#include <cstdint>
#include <string>
#include <vector>

namespace IQX_VantixDataProvider {

inline constexpr LONG kScaleLinear = 0;
inline constexpr LONG kScaleLog = 1; // base 10; every value is above zero

inline constexpr LONG kDirectionMinimize = 0;
inline constexpr LONG kDirectionMaximize = 1;

// Label of the value an input lacks in a record (a conditional parameter, an
// empty categorical cell). It sorts after every other value of its input.
inline constexpr const wchar_t* kNoneLabel = L"(none)";

struct IOptimizationResultsDataMeaning : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C63, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // S_OK and the label of value index `index` of `input` when that value is
    // a label: every value of a labelled (categorical) input, whose values
    // are then the codes 0 .. n-1 in the labels' sorted order, and the
    // "(none)" value of any input. S_FALSE and an empty text when the value
    // is a plain number.
    virtual HRESULT GetInputValueLabel(ULONG input, std::uint64_t index, std::wstring* pLabel) = 0;
    // S_OK when every value of the input is a label, S_FALSE when the input is
    // numeric (it may still hold a "(none)" value).
    virtual HRESULT IsInputLabelled(ULONG input) = 0;
    // S_OK and the value index of "(none)" (always the last index), or
    // S_FALSE when no record lacks the input.
    virtual HRESULT GetInputNoneIndex(ULONG input, std::uint64_t* pIndex) = 0;
    virtual HRESULT GetInputScale(ULONG input, LONG* pScale) = 0;
    virtual HRESULT GetFunctionScale(ULONG function, LONG* pScale) = 0;
    virtual HRESULT GetFunctionDirection(ULONG function, LONG* pDirection) = 0;
};

// A load that needs an answer it was not given fails with this result; the
// provider's IOptimizationResultsLoadOptions::GetPendingChoice then says what
// to ask.
inline constexpr HRESULT ORS_E_CHOICE_NEEDED = static_cast<HRESULT>(0x80040A01L);

inline constexpr LONG kChoiceNone = 0;
inline constexpr LONG kChoiceStudy = 1; // a storage holding several studies
inline constexpr LONG kChoiceRoles = 2; // a table whose inputs and functions are uncertain
inline constexpr LONG kChoicePassword = 3; // a database server wants a password the URL does not hold

struct LoadChoice {
    LONG kind = kChoiceNone;
    // kChoiceStudy: each study's name and its trial count.
    std::vector<std::wstring> studies;
    std::vector<ULONG> trialCounts;
    // kChoiceRoles: the table's column names in file order, the best guess of
    // each one's role, and a hash of the header line that identifies the
    // table's layout (for remembering the answer).
    std::vector<std::wstring> columns;
    std::vector<LONG> guessedRoles; // kRoleInput, kRoleFunction, kRoleIgnore
    std::wstring headerHash;
};

inline constexpr LONG kRoleInput = 0;
inline constexpr LONG kRoleFunction = 1;
inline constexpr LONG kRoleIgnore = 2;

// On the provider. Options hold for every later Load until changed.
struct IOptimizationResultsLoadOptions : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C64, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // The study to open from a storage; empty: the only one, or ask.
    virtual HRESULT SetStudy(const std::wstring& name) = 0;
    // Column roles by name; columns named in neither list are ignored. Both
    // empty: decide from the file, or ask when that is uncertain.
    virtual HRESULT SetColumnRoles(const std::vector<std::wstring>& inputs,
                                   const std::vector<std::wstring>& functions) = 0;
    // TRUE: an uncertain split takes the best guess instead of asking (the
    // guess stays readable through GetPendingChoice after the load).
    virtual HRESULT SetAcceptGuess(BOOL accept) = 0;
    // After a Load: the choice it needed (kind kChoiceNone when none), or with
    // SetAcceptGuess(TRUE), the guess it took.
    virtual HRESULT GetPendingChoice(LoadChoice* pChoice) = 0;
    // The password for a database URL that holds none (asked of the user).
    // Kept in memory only, for later loads of this provider.
    virtual HRESULT SetPassword(const std::wstring& password) = 0;
};

} // namespace IQX_VantixDataProvider

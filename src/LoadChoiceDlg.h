#pragma once
// The questions a load may need answered: which study of a storage to open,
// and which of a table's columns are inputs, functions or left out.
#include "Prompts.h"

#include <QDialog>

#include <cstddef>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vantix {

// A list of the studies, each with its trial count; the largest is chosen
// to begin with, a double click opens one.
class CStudyDialog : public QDialog {
public:
    CStudyDialog(const LoadChoiceRequest& request, QWidget* parent = nullptr);
    std::size_t Study() const;

private:
    QListWidget* m_pList;
};

// A table of the columns, each with its role in a drop-down list prefilled
// with the guess. OK needs at least two inputs and a function.
class CColumnRolesDialog : public QDialog {
public:
    CColumnRolesDialog(const LoadChoiceRequest& request, QWidget* parent = nullptr);
    std::vector<int> Roles() const;
    // Sets the role of a column, as choosing it in its list does.
    void SetRole(int column, int role);

private:
    void UpdateOk();
    QTableWidget* m_pTable;
    QPushButton* m_pOk = nullptr;
    QLabel* m_pHint = nullptr;
};

} // namespace vantix

#pragma once

#include <QPointer>
#include <QWidget>

namespace puolukka {

// "Kortinlukijan valmistusohjeet": how to build the serial card reader the
// program drives, with a parts list and drawings. Not modal; affects nothing else.
class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(QWidget* parent = nullptr);
};

// Shows the guide window, creating it when it is not open.
void valmistus_Click(QPointer<Form3>& guide, QWidget* parent);

}  // namespace puolukka

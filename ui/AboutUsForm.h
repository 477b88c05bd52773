#pragma once

#include <QDialog>

// The about box: product name and version, the program's picture and the maker's web page.
class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr auto HomePage = "https://www.velliport.example/";

    explicit AboutUsForm(QWidget* parent = nullptr);
};

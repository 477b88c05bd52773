#pragma once

#include <QDialog>

class WebConfig;

// The about box: product name and version, the program's picture and the maker's web
// page, which only a configured home page gives (no link without one).
class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget* parent = nullptr);
    AboutUsForm(const WebConfig& config, QWidget* parent = nullptr);
};

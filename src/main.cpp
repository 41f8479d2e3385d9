#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window("Puolukka");
    window.setWindowTitle("Puolukka");
    window.resize(400, 200);
    window.show();
    return app.exec();
}

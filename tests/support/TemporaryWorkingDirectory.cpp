#include "TemporaryWorkingDirectory.h"

#include <QDir>

#include <stdexcept>

TemporaryWorkingDirectory::TemporaryWorkingDirectory()
    : previous_(QDir::currentPath())
{
    if (!dir_.isValid() || !QDir::setCurrent(dir_.path()))
        throw std::runtime_error("cannot make a temporary working directory: " + dir_.errorString().toStdString());
}

TemporaryWorkingDirectory::~TemporaryWorkingDirectory()
{
    QDir::setCurrent(previous_);
}

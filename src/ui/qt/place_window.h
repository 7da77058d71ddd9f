// CenterForm for a Qt window on its screen.
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "ui/setup/center_form.h"

namespace quorvix {

inline void PlaceInTheMiddle(QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize area = screen->size();
  const FormPosition position =
      CenterForm(static_cast<float>(area.width()), static_cast<float>(area.height()),
                 static_cast<float>(window.width()), static_cast<float>(window.height()));
  window.move(static_cast<int>(position.left), static_cast<int>(position.top));
}

}  // namespace quorvix

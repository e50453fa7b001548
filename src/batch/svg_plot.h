// A small plotting surface that writes inline SVG: one plot area with a
// linear or logarithmic axis each way, lines, bands, markers with error bars
// and vertical marks, and a legend laid out below the plot area so that it
// never covers what is drawn.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qev::batch_output {

struct Axis {
  double low = 0.0;
  double high = 1.0;
  bool log = false;
  std::string label;
};

struct Stroke {
  std::string color = "#1f77b4";
  double width = 1.5;
  std::string dash;  // SVG stroke-dasharray, empty: solid
};

// The colours of the figures (the ten of the usual categorical palette).
const std::string& PaletteColor(std::size_t i);

// Text with & < > " escaped for HTML and SVG.
std::string Escaped(const std::string& text);

class SvgPlot {
 public:
  // `id` names the plot's clipping path: unique within the page.
  SvgPlot(std::string id, double width, double height, Axis x, Axis y, std::string title);

  // Lines and bands skip points that are not finite or (log axis) not above 0.
  void Line(const std::vector<std::pair<double, double>>& points, const Stroke& stroke);
  // The area between low(x) and high(x) at the given x.
  void Band(const std::vector<double>& x, const std::vector<double>& low,
            const std::vector<double>& high, const std::string& color, double opacity);
  // shape: 'o' circle, 's' square, '*' star, '|' a bar from the axis; open
  // shapes when `filled` is false.
  void Marker(double x, double y, char shape, const std::string& color, bool filled = false);
  void ErrorBar(double x, double low, double high, const std::string& color);
  void VerticalMark(double x, const Stroke& stroke, const std::string& label);
  void Legend(const std::string& text, const Stroke& stroke, char marker = 0, bool band = false);

  void HideLegend() { legend_.clear(); }

  // The figure; its height grows by the legend's rows.
  std::string Svg() const;

  double X(double value) const;
  double Y(double value) const;

 private:
  struct Entry {
    std::string text;
    Stroke stroke;
    char marker;
    bool band;
  };
  bool Inside(double x, double y) const;
  std::string Ticks() const;
  static std::string MarkerShape(double px, double py, char shape, const std::string& color,
                                 bool filled);

  std::string id_;
  double width_, height_;
  Axis x_, y_;
  std::string title_;
  double left_ = 64.0, right_ = 16.0, top_ = 28.0, bottom_ = 44.0;
  std::string body_;
  std::vector<Entry> legend_;
};

}  // namespace qev::batch_output

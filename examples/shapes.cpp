// C++ part of the example library: classes, namespaces, templates, inline
// functions and a thread-local counter.
namespace geometry {

struct Point {
  int x;
  int y;
};

class Shape {
 public:
  virtual ~Shape() {}
  virtual int Area() const = 0;
};

class Rectangle : public Shape {
 public:
  Rectangle(int width, int height) : width_(width), height_(height) {}
  int Area() const override { return width_ * height_; }

 private:
  int width_;
  int height_;
};

template <typename T>
T Largest(T a, T b) {
  return a < b ? b : a;
}

thread_local int shapesMade = 0;

int RectangleArea(int width, int height) {
  ++shapesMade;
  Rectangle rectangle(width, height);
  return rectangle.Area();
}

int LargerCoordinate(const Point& point) { return Largest(point.x, point.y); }

double LargerLength(double a, double b) { return Largest(a, b); }

}  // namespace geometry

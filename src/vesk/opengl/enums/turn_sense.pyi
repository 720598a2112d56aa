"""Polygon winding orders as GL enumerants."""
import enum

class TurnSense(enum.IntEnum):
    clockwise = 2304  # GL_CW
    counter_clockwise = 2305  # GL_CCW

clockwise: TurnSense
counter_clockwise: TurnSense

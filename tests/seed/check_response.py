#!/usr/bin/env python3
"""Checks the responses of a StationXML document independently of the program that wrote it.

For every channel with a Response: the units chain from the sensitivity's input units through
the stages to its output units; the stage gains multiply to InstrumentSensitivity; and the
modulus of the whole response, evaluated from the poles and zeros (Laplace, rad/s) and the
digital coefficients at the sensitivity's frequency, matches InstrumentSensitivity within 1 %.

usage: check_response.py FILE [--require-sensor]   (exit 0 when every channel passes)
"""
import cmath
import math
import sys
import xml.etree.ElementTree as ET

NS = {"s": "http://www.fdsn.org/xml/station/1"}


def number(node, path):
    found = node.find(path, NS)
    if found is None:
        raise ValueError("no " + path)
    return float(found.text)


def units(node):
    return (node.find("s:InputUnits/s:Name", NS).text, node.find("s:OutputUnits/s:Name", NS).text)


def stage_modulus(stage, frequency, rate):
    """|H(f)| of a stage without its gain, and its units."""
    pz = stage.find("s:PolesZeros", NS)
    if pz is not None:
        if pz.find("s:PzTransferFunctionType", NS).text != "LAPLACE (RADIANS/SECOND)":
            raise ValueError("poles and zeros not in rad/s")
        s = complex(0, 2 * math.pi * frequency)
        value = complex(number(pz, "s:NormalizationFactor"), 0)
        for zero in pz.findall("s:Zero", NS):
            value *= s - complex(number(zero, "s:Real"), number(zero, "s:Imaginary"))
        for pole in pz.findall("s:Pole", NS):
            value /= s - complex(number(pole, "s:Real"), number(pole, "s:Imaginary"))
        return abs(value), units(pz)
    cf = stage.find("s:Coefficients", NS)
    if cf is not None:
        rate = number(stage, "s:Decimation/s:InputSampleRate")
        z = cmath.exp(complex(0, 2 * math.pi * frequency / rate))
        numerators = cf.findall("s:Numerator", NS)
        numerator = sum(float(n.text) * z ** -k for k, n in enumerate(numerators))
        denominator = 1 + sum(float(d.text) * z ** -(k + 1)
                              for k, d in enumerate(cf.findall("s:Denominator", NS)))
        return abs(numerator / denominator), units(cf)
    raise ValueError("a stage of a kind this check does not read")


def check_channel(channel):
    response = channel.find("s:Response", NS)
    sensitivity = response.find("s:InstrumentSensitivity", NS)
    value = number(sensitivity, "s:Value")
    frequency = number(sensitivity, "s:Frequency")
    first, last = units(sensitivity)
    modulus, gains, current = 1.0, 1.0, first
    stages = response.findall("s:Stage", NS)
    if not stages:
        return "no stage"
    for stage in stages:
        gain = number(stage, "s:StageGain/s:Value")
        if abs(number(stage, "s:StageGain/s:Frequency") - frequency) > 1e-9 * max(1, frequency):
            return "stage %s gain not stated at %g Hz" % (stage.get("number"), frequency)
        stage_value, (inp, out) = stage_modulus(stage, frequency, None)
        if inp != current:
            return "stage %s takes %s after %s" % (stage.get("number"), inp, current)
        current = out
        modulus *= stage_value * gain
        gains *= gain
    if current != last:
        return "the stages end in %s, the sensitivity in %s" % (current, last)
    if abs(gains - value) > 0.01 * value:
        return "stage gains multiply to %g, sensitivity %g" % (gains, value)
    if abs(modulus - value) > 0.01 * value:
        return "|response| at %g Hz is %g, sensitivity %g" % (frequency, modulus, value)
    return None


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = ET.parse(argv[1]).getroot()
    checked, with_sensor, faults = 0, 0, []
    for station in root.iterfind("s:Network/s:Station", NS):
        for channel in station.iterfind("s:Channel", NS):
            if channel.find("s:Response", NS) is None:
                continue
            name = "%s.%s.%s %s" % (station.get("code"), channel.get("locationCode"),
                                    channel.get("code"), channel.get("startDate"))
            try:
                fault = check_channel(channel)
            except (ValueError, AttributeError, TypeError) as error:
                fault = str(error)
            if fault:
                faults.append(name + ": " + fault)
            checked += 1
            if units(channel.find("s:Response/s:InstrumentSensitivity", NS))[0] == "M/S":
                with_sensor += 1
    for fault in faults:
        print(fault, file=sys.stderr)
    if checked == 0:
        print("no channel with a response", file=sys.stderr)
        return 1
    if "--require-sensor" in argv and with_sensor == 0:
        print("no channel with a sensor", file=sys.stderr)
        return 1
    print("%d channel responses checked, %d from the sensor" % (checked, with_sensor))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

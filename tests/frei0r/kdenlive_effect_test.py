"""The Kdenlive effect description against the module itself: the file is well-formed
XML in the form of Kdenlive's frei0r effects, and names exactly the module's parameters,
in its order, with its types and defaults; strengths are sliders 0..40, margins are in
pixels of the frame's width or height.

Usage: kdenlive_effect_test.py MODULE.so EFFECT.xml"""
import ctypes
import sys
import xml.etree.ElementTree as ElementTree

F0R_PARAM_BOOL = 0


class PluginInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("author", ctypes.c_char_p),
                ("plugin_type", ctypes.c_int), ("color_model", ctypes.c_int),
                ("frei0r_version", ctypes.c_int), ("major_version", ctypes.c_int),
                ("minor_version", ctypes.c_int), ("num_params", ctypes.c_int),
                ("explanation", ctypes.c_char_p)]


class ParamInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("type", ctypes.c_int),
                ("explanation", ctypes.c_char_p)]


def module_parameters(path):
    """(name, is_bool, default) of each parameter, as a host reads them."""
    module = ctypes.CDLL(path)
    module.f0r_construct.restype = ctypes.c_void_p
    module.f0r_construct.argtypes = [ctypes.c_uint, ctypes.c_uint]
    module.f0r_get_param_value.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
    module.f0r_destruct.argtypes = [ctypes.c_void_p]
    info = PluginInfo()
    module.f0r_get_plugin_info(ctypes.byref(info))
    instance = module.f0r_construct(640, 480)
    parameters = []
    for index in range(info.num_params):
        param = ParamInfo()
        module.f0r_get_param_info(ctypes.byref(param), index)
        value = ctypes.c_double()
        module.f0r_get_param_value(instance, ctypes.byref(value), index)
        parameters.append((param.name.decode(), param.type == F0R_PARAM_BOOL, value.value))
    module.f0r_destruct(instance)
    return info.name.decode(), parameters


def main(module_path, effect_path):
    errors = []
    name, parameters = module_parameters(module_path)
    effect = ElementTree.parse(effect_path).getroot()  # raises on malformed XML
    if effect.tag != "effect" or effect.get("tag") != "frei0r." + name.lower():
        errors.append(f"root is <{effect.tag} tag={effect.get('tag')!r}>, "
                      f"not <effect tag='frei0r.{name.lower()}'>")
    described = effect.findall("parameter")
    names = [p.get("name") for p in described]
    if names != [n for n, _, _ in parameters]:
        errors.append(f"parameters {names} are not the module's {[n for n, _, _ in parameters]}")
    for (pname, is_bool, default), p in zip(parameters, described):
        if p.find("name") is None:
            errors.append(f"{pname}: no <name> to show")
        if (p.get("type") == "bool") != is_bool:
            errors.append(f"{pname}: type {p.get('type')} for a {'bool' if is_bool else 'double'}")
        if abs(float(p.get("default")) - default) > 1e-6:
            errors.append(f"{pname}: default {p.get('default')}, the module's is {default}")
        if is_bool:
            continue
        axis = {"top": "%height", "bottom": "%height", "left": "%width", "right": "%width"}
        scale = axis.get(pname, "40")
        if (p.get("factor"), p.get("min"), p.get("max")) != (scale, "0", scale):
            errors.append(f"{pname}: slider factor {p.get('factor')} from {p.get('min')} "
                          f"to {p.get('max')}, not {scale} from 0 to {scale}")
    for error in errors:
        print("FAIL", error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))

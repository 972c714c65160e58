#include "colors.inc"
#include "textures.inc"

camera {
	location  <0, 0, -4.000000>
	direction <0, 0,  1>
	up        <0, 1,  0>
	right   <4/3, 0,  0>
	look_at   <0, 0, 0>
}

light_source {<0, 0, -4.000000> color White}
light_source {<0, 10.000000, 0> color White}

// Lightning Texture by Morvane
#declare Flash = color red 0.1 green 0.1 blue 0.4
#declare MBlue = color red 0 green 0 blue 0.2
#declare Bolt = color red 0.6 green 0.6 blue 0.8
#declare Lightning_Sky = pigment {
	marble
	turbulence 2.3
	color_map {
		[0.65, 0.85	color Black  color MBlue]
		[0.85, 0.92	color MBlue	color Flash]
		[0.92, 0.99	color Flash	color Bolt]
		[0.99, 1.001	color Bolt	color White]
	}
}

// A lightning sky
sphere {
	<0.0, 0.0, 0.0>, 6000.000000
	texture {Lightning_Sky scale 10000.000000}
	rotate <45, 0, 25>
	scale <1, 4, 1>
}

// Add a glass finish
#declare GlassFinish = finish {	Shiny ambient 0 diffuse 0
	reflection 0.1 refraction 1 ior 1.5
}

// Object converted to POVRay V2.2 by TRIVEX V2.7
#declare _Tri = texture {pigment {color White} finish {Dull}}


// This object has the following minimum and maximum values:
// xmin=0.000000, xmax=2.000000
// ymin=0.000000, ymax=2.000000
// zmin=0.000000, zmax=0.000000

object {
	// _Tri
	object {
		triangle {
			<0.000000, 0.000000, 0.000000>,
			<2.000000, 0.000000, 0.000000>,
			< 0.000000, 2.000000, 0.000000>
		}
		texture{_Tri}
	}
}
